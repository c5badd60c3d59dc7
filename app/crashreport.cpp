#include "app/crashreport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <set>
#include <system_error>

#ifdef _WIN32
// windows.h first: dbghelp.h needs its types.
// clang-format off
#include <windows.h>
#include <dbghelp.h>
#include <csignal>
#include <exception>
// clang-format on
#else
#include <csignal>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#endif

namespace {

/// Text in a fixed buffer, formatted without allocating: what a signal handler
/// or a process with a broken heap can still do.
struct Text final
{
    char data[32768];
    std::size_t size = 0;

    Text &add(const char *text)
    {
        while (text && *text && size < sizeof data - 1)
            data[size++] = *text++;
        data[size] = 0;
        return *this;
    }
    Text &number(std::uint64_t value, unsigned base = 10, int width = 1)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value && count < 24);
        while (count < width && count < 24)
            digits[count++] = '0';
        while (count && size < sizeof data - 1)
            data[size++] = digits[--count];
        data[size] = 0;
        return *this;
    }
    Text &hex(std::uint64_t value) { return add("0x").number(value, 16); }
    void clear()
    {
        size = 0;
        data[0] = 0;
    }
};

struct Stamp final
{
    int year, month, day, hour, minute, second, millisecond;
};

/// "crash-20261207-203001-<pid>": names sort by their time.
void addStem(Text &text, const Stamp &t, std::uint64_t process)
{
    text.add("crash-").number(t.year, 10, 4).number(t.month, 10, 2).number(t.day, 10, 2).add("-");
    text.number(t.hour, 10, 2).number(t.minute, 10, 2).number(t.second, 10, 2).add("-").number(process);
}

/// The log's own time format.
void addTime(Text &text, const Stamp &t)
{
    text.number(t.year, 10, 4).add("-").number(t.month, 10, 2).add("-").number(t.day, 10, 2).add(" ");
    text.number(t.hour, 10, 2).add(":").number(t.minute, 10, 2).add(":").number(t.second, 10, 2).add(".");
    text.number(t.millisecond, 10, 3);
}

Text report;
Text logLine;
Text stem;
char about[2048];

void copyInto(char *into, std::size_t capacity, const std::string &text)
{
    const std::size_t size = text.size() < capacity - 1 ? text.size() : capacity - 1;
    text.copy(into, size);
    into[size] = 0;
}

/// Leaves room for one more report among the newest keptReports. Compares
/// native names: another file in the folder may have a name no narrow string
/// holds.
void prune(const std::filesystem::path &folder)
{
    using Native = std::filesystem::path::string_type;
    const Native prefix = std::filesystem::path("crash-").native();
    std::error_code error;
    std::set<std::filesystem::path> stems;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::filesystem::path name = entry->path().filename();
        const std::filesystem::path extension = name.extension();
        if (name.native().compare(0, prefix.size(), prefix) == 0 && (extension == ".txt" || extension == ".dmp"))
            stems.insert(name.stem());
    }
    while (stems.size() > std::size_t(CrashReport::keptReports - 1)) {
        for (const char *extension : {".txt", ".dmp"}) {
            std::filesystem::path file = folder / *stems.begin();
            file += extension;
            std::filesystem::remove(file, error);
        }
        stems.erase(stems.begin());
    }
}

#ifdef _WIN32

wchar_t folderPath[4096];
wchar_t logPath[4096];

constexpr DWORD abortCode = 0x40000015; // STATUS_FATAL_APP_EXIT, as the C runtime's own abort ends with
constexpr DWORD terminateCode = 0xE0000001;
constexpr DWORD fatalMessageCode = 0xE0000002;
constexpr DWORD pureVirtualCallCode = 0xE0000003;

using WriteDump = BOOL(WINAPI *)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
    PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
WriteDump writeDump = nullptr;
HANDLE requested = nullptr;
HANDLE written = nullptr;
HANDLE prepare = nullptr;
EXCEPTION_POINTERS *crash = nullptr;
DWORD crashedThread = 0;
DWORD writerThread = 0;
std::atomic<DWORD> firstCrashed{0};

const char *describe(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return "access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return "stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return "division by zero";
    case abortCode:
        return "abort";
    case terminateCode:
        return "std::terminate";
    case fatalMessageCode:
        return "fatal message";
    case pureVirtualCallCode:
        return "pure virtual call";
    }
    return "exception";
}

void widen(wchar_t *into, std::size_t capacity, const wchar_t *folder, const char *name, const wchar_t *extension)
{
    std::size_t size = 0;
    for (const wchar_t *c = folder; *c && size < capacity - 1; ++c)
        into[size++] = *c;
    for (const char *c = name; *c && size < capacity - 1; ++c)
        into[size++] = wchar_t(*c);
    for (const wchar_t *c = extension; *c && size < capacity - 1; ++c)
        into[size++] = *c;
    into[size] = 0;
}

void addModuleOf(Text &text, DWORD64 address)
{
    HMODULE module = nullptr;
    wchar_t path[1024];
    char utf8[2048];
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!::GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(address), &module)
        || !::GetModuleFileNameW(module, path, 1024)
        || !::WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, sizeof utf8, nullptr, nullptr)) {
        text.add("?+").hex(address);
        return;
    }
    text.add(utf8).add("+").hex(address - reinterpret_cast<DWORD64>(module));
}

void writeFile(const wchar_t *path, const Text &text, DWORD disposition)
{
    const DWORD access = disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE;
    HANDLE file = ::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD done = 0;
    ::WriteFile(file, text.data, DWORD(text.size), &done, nullptr);
    ::CloseHandle(file);
}

/// Unwinds the crashed thread from its context with the tables every x64
/// function has; a leaf function has none, and its caller's address is on top
/// of its stack.
void addFrames(Text &text, CONTEXT context)
{
    // A call through a null pointer leaves the caller's address on top of the stack, as a leaf does.
    for (int index = 0; index < 64 && (context.Rip || index == 0); ++index) {
        text.add("#").number(index).add(" ");
        addModuleOf(text, context.Rip);
        text.add("\n");
        DWORD64 base = 0;
        PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &base, nullptr);
        if (function) {
            void *handlerData = nullptr;
            DWORD64 frame = 0;
            ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &frame, nullptr);
            continue;
        }
        DWORD64 caller = 0;
        SIZE_T read = 0;
        if (!::ReadProcessMemory(
                ::GetCurrentProcess(), reinterpret_cast<void *>(context.Rsp), &caller, sizeof caller, &read))
            break;
        context.Rip = caller;
        context.Rsp += sizeof caller;
    }
}

// The writer's own thread holds nothing of the crash; left out, since Wine
// puts the whole reserve of a dumping thread's stack into the dump.
BOOL CALLBACK leaveOutWriter(void *, const PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT output)
{
    if (input->CallbackType == IncludeThreadCallback && input->IncludeThread.ThreadId == writerThread)
        return FALSE;
    if (input->CallbackType == ThreadCallback && input->Thread.ThreadId == writerThread)
        output->ThreadWriteFlags = 0;
    return TRUE;
}

/// The text and the log line: they take a moment, the dump may take seconds.
void writeText()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    const Stamp t{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    stem.clear();
    addStem(stem, t, ::GetCurrentProcessId());
    const EXCEPTION_RECORD &record = *crash->ExceptionRecord;
    report.clear();
    report.add("time: ");
    addTime(report, t);
    report.add("\n").add(about).add("exception: ").hex(record.ExceptionCode).add(" (");
    report.add(describe(record.ExceptionCode)).add(") at ");
    addModuleOf(report, reinterpret_cast<DWORD64>(record.ExceptionAddress));
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2)
        report.add(", address ").hex(record.ExceptionInformation[1]);
    report.add("\nthread: ").number(crashedThread).add("\nframes of the crashing thread:\n");
    addFrames(report, *crash->ContextRecord);
    wchar_t path[4200];
    widen(path, 4200, folderPath, stem.data, L".txt");
    writeFile(path, report, CREATE_ALWAYS);

    logLine.clear();
    addTime(logLine, t);
    logLine.add(" fatal [velor.crash] the launcher crashed: exception ").hex(record.ExceptionCode).add(" (");
    logLine.add(describe(record.ExceptionCode)).add("); report crashes/").add(stem.data).add(".txt\n");
    writeFile(logPath, logLine, OPEN_ALWAYS);
}

void writeMinidump()
{
    wchar_t path[4200];
    widen(path, 4200, folderPath, stem.data, L".dmp");
    HANDLE dump = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (dump == INVALID_HANDLE_VALUE)
        return;
    // The threads with their stacks' used part, the modules and the exception:
    // an overflowed stack adds the exe's whole stack reserve (2 MB).
    MINIDUMP_EXCEPTION_INFORMATION exception{crashedThread, crash, FALSE};
    MINIDUMP_CALLBACK_INFORMATION callback{&leaveOutWriter, nullptr};
    if (writeDump)
        writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), dump, MiniDumpNormal, &exception, nullptr, &callback);
    ::CloseHandle(dump);
}

void loadDumpLibrary()
{
    // From Windows' own folder, never one a download put beside the launcher.
    HMODULE dbghelp = ::LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!dbghelp)
        return;
    const auto function = reinterpret_cast<void (*)()>(::GetProcAddress(dbghelp, "MiniDumpWriteDump"));
    writeDump = reinterpret_cast<WriteDump>(function);
    // Made ready now: Wine's dbghelp, left to start on the dump, takes seconds
    // to read the modules and leaves out the exception if it is cut short; no
    // dump needs their debug information.
    using SetOptions = DWORD(WINAPI *)(DWORD);
    const auto options = reinterpret_cast<void (*)()>(::GetProcAddress(dbghelp, "SymSetOptions"));
    if (options)
        reinterpret_cast<SetOptions>(options)(SYMOPT_DEFERRED_LOADS | SYMOPT_UNDNAME);
    using Initialize = BOOL(WINAPI *)(HANDLE, PCWSTR, BOOL);
    const auto initialize = reinterpret_cast<void (*)()>(::GetProcAddress(dbghelp, "SymInitializeW"));
    if (initialize)
        reinterpret_cast<Initialize>(initialize)(::GetCurrentProcess(), nullptr, FALSE);
}

DWORD WINAPI writer(void *)
{
    // The library is loaded once the window is up, which costs the first
    // frame nothing; a crash that comes first has its text and log line
    // written before the library is loaded for its dump.
    const HANDLE either[] = {requested, prepare};
    const bool crashedFirst = ::WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
    if (!crashedFirst)
        loadDumpLibrary();
    ::WaitForSingleObject(requested, INFINITE);
    writeText();
    if (crashedFirst)
        loadDumpLibrary();
    writeMinidump();
    ::SetEvent(written);
    return 0;
}

void handOver(EXCEPTION_POINTERS *pointers)
{
    DWORD none = 0;
    const DWORD self = ::GetCurrentThreadId();
    if (!firstCrashed.compare_exchange_strong(none, self)) {
        // Another thread's report is on its way, and its end ends the process.
        if (none != self)
            ::Sleep(INFINITE);
        return;
    }
    crash = pointers;
    crashedThread = self;
    ::SetEvent(requested);
    ::WaitForSingleObject(written, 10000);
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS *pointers)
{
    handOver(pointers);
    return EXCEPTION_EXECUTE_HANDLER;
}

// An overflowed stack has too little room left for the search of a handler
// that ends in onUnhandledException (Wine does not honour the stack guarantee
// at all), so it is handed over first thing, and the process ends right here.
LONG WINAPI onStackOverflow(EXCEPTION_POINTERS *pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    handOver(pointers);
    ::TerminateProcess(::GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void reportHere(DWORD code)
{
    CONTEXT context;
    ::RtlCaptureContext(&context);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<void *>(context.Rip);
    EXCEPTION_POINTERS pointers{&record, &context};
    handOver(&pointers);
    ::TerminateProcess(::GetCurrentProcess(), code);
    __builtin_unreachable();
}

void onAbort(int)
{
    reportHere(abortCode);
}

[[noreturn]] void onTerminate()
{
    reportHere(terminateCode);
}

} // namespace

// In a static MinGW build the C++ runtime's handler of a pure virtual call is
// a weak symbol that nothing defines: such a call would jump to address 0.
// This one reports it for what it is.
extern "C" [[noreturn]] void __cxa_pure_virtual()
{
    reportHere(pureVirtualCallCode);
}

namespace {

#else

/// A library's place in memory, and the file it came from.
struct Module final
{
    std::uintptr_t bias, start, end;
    char path[512];
};
struct Modules final
{
    Module list[256];
    int count;
};
// Taken while the process is sound, since the dynamic loader's own look-up
// (dladdr) may take a lock the crashed thread holds. Two tables: a refresh
// fills the one no crash reads.
Modules modules[2];
std::atomic<int> activeModules{0};
char ownPath[512];

char folderPath[4096];
char logPath[4096];
long utcOffset = 0; // of the start: a report written after a change of summer time is an hour off
void *frames[64];
// The stack on which the handler runs, so that an overflowed one still gets its report. It serves the
// main thread; another thread whose stack overflows ends without one.
alignas(16) char alternateStack[256 * 1024];
std::atomic<long> firstCrashed{0};

int addModule(dl_phdr_info *info, std::size_t, void *data)
{
    auto *into = static_cast<Modules *>(data);
    if (into->count == 256)
        return 1;
    std::uintptr_t low = UINTPTR_MAX;
    std::uintptr_t high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD)
            continue;
        low = header.p_vaddr < low ? header.p_vaddr : low;
        high = header.p_vaddr + header.p_memsz > high ? header.p_vaddr + header.p_memsz : high;
    }
    if (!high)
        return 0;
    Module &module = into->list[into->count++];
    module.bias = info->dlpi_addr;
    module.start = info->dlpi_addr + low;
    module.end = info->dlpi_addr + high;
    copyInto(module.path, sizeof module.path, info->dlpi_name && *info->dlpi_name ? info->dlpi_name : ownPath);
    return 0;
}

void captureModules()
{
    const int next = 1 - activeModules.load();
    modules[next].count = 0;
    dl_iterate_phdr(&addModule, &modules[next]);
    activeModules.store(next);
}

void addFrame(Text &text, int index, std::uintptr_t address)
{
    text.add("#").number(index).add(" ");
    const Modules &known = modules[activeModules.load()];
    for (int i = 0; i < known.count; ++i) {
        if (address >= known.list[i].start && address < known.list[i].end) {
            text.add(known.list[i].path).add("+").hex(address - known.list[i].bias).add("\n");
            return;
        }
    }
    text.add("?+").hex(address).add("\n");
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    }
    return "SIGABRT";
}

std::uintptr_t programCounter(void *context)
{
#if defined(__x86_64__)
    return std::uintptr_t(static_cast<ucontext_t *>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return std::uintptr_t(static_cast<ucontext_t *>(context)->uc_mcontext.pc);
#else
    (void)context;
    return 0;
#endif
}

void writeAll(int fd, const Text &text)
{
    std::size_t done = 0;
    while (fd >= 0 && done < text.size) {
        const ssize_t step = ::write(fd, text.data + done, text.size - done);
        if (step <= 0)
            return;
        done += std::size_t(step);
    }
}

Stamp localNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long local = now.tv_sec + utcOffset;
    // Days since 1970 to a civil date (H. Hinnant's algorithm): localtime_r is not async-signal-safe.
    const long long days = (local >= 0 ? local : local - 86399) / 86400;
    const long long seconds = local - days * 86400;
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long dayOfEra = z - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const int month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    return Stamp{int(yearOfEra + era * 400 + (month <= 2)), month, int(dayOfYear - (153 * monthIndex + 2) / 5 + 1),
        int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60), int(now.tv_nsec / 1000000)};
}

void writeReport(int signal, siginfo_t *info, void *context)
{
    const Stamp t = localNow();
    stem.clear();
    addStem(stem, t, std::uint64_t(getpid()));
    report.clear();
    report.add(folderPath).add("/").add(stem.data).add(".txt");
    const int fd = ::open(report.data, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

    const std::uintptr_t pc = programCounter(context);
    const int count = backtrace(frames, 64);
    int first = 0;
    while (pc && first < count && std::uintptr_t(frames[first]) != pc)
        ++first;
    report.clear();
    report.add("time: ");
    addTime(report, t);
    report.add("\n").add(about).add("signal: ").number(std::uint64_t(signal)).add(" (").add(signalName(signal));
    report.add(") at ").hex(pc).add(", code ").add(info->si_code < 0 ? "-" : "");
    report.number(std::uint64_t(info->si_code < 0 ? -info->si_code : info->si_code));
    if (info->si_code > 0) // a fault's address; a sent signal has none
        report.add(", address ").hex(std::uintptr_t(info->si_addr));
    report.add("\nthread: ").number(std::uint64_t(syscall(SYS_gettid)));
    report.add("\nframes of the crashing thread:\n");
    int index = 0;
    // The unwinder passes through the kernel's signal frame to the faulting
    // instruction; where it did not, the faulting instruction leads.
    if (pc && first == count) {
        addFrame(report, index++, pc);
        first = 0;
    }
    for (int i = first; i < count; ++i)
        addFrame(report, index++, std::uintptr_t(frames[i]));
    writeAll(fd, report);
    if (fd >= 0)
        ::close(fd);

    logLine.clear();
    addTime(logLine, t);
    logLine.add(" fatal [velor.crash] the launcher crashed: signal ").number(std::uint64_t(signal)).add(" (");
    logLine.add(signalName(signal)).add("); report crashes/").add(stem.data).add(".txt\n");
    const int log = ::open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    writeAll(log, logLine);
    if (log >= 0)
        ::close(log);
}

void onSignal(int signal, siginfo_t *info, void *context)
{
    long none = 0;
    const long self = long(syscall(SYS_gettid));
    if (firstCrashed.compare_exchange_strong(none, self))
        writeReport(signal, info, context);
    else if (none != self)
        for (;;)
            pause(); // another thread's report is on its way, and its end ends the process
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    // A fault happens again as the handler returns, now to the default end;
    // a sent signal (abort's) would not, so it is sent again.
    if (info->si_code <= 0)
        raise(signal);
}

#endif

} // namespace

void CrashReport::install(
    const std::filesystem::path &folder, const std::filesystem::path &logFile, const std::string &aboutLines)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    prune(folder);
    copyInto(about, sizeof about, aboutLines);
#ifdef _WIN32
    const std::wstring folderText = (folder / "").wstring();
    folderText.copy(folderPath, sizeof folderPath / sizeof *folderPath - 1);
    logFile.wstring().copy(logPath, sizeof logPath / sizeof *logPath - 1);
    requested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    written = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    prepare = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread
        = ::CreateThread(nullptr, 256 * 1024, &writer, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, &writerThread);
    if (!requested || !written || !prepare || !thread)
        return;
    ::CloseHandle(thread);
    // Room for the hand-over on an overflowed stack.
    ULONG guarantee = 64 * 1024;
    ::SetThreadStackGuarantee(&guarantee);
    ::SetUnhandledExceptionFilter(&onUnhandledException);
    ::AddVectoredExceptionHandler(1, &onStackOverflow);
    std::signal(SIGABRT, &onAbort);
    std::set_terminate(&onTerminate);
#else
    copyInto(folderPath, sizeof folderPath, folder.string());
    copyInto(logPath, sizeof logPath, logFile.string());
    const ssize_t length = ::readlink("/proc/self/exe", ownPath, sizeof ownPath - 1);
    ownPath[length > 0 ? length : 0] = 0;
    captureModules();
    backtrace(frames, 1); // its first call loads the unwinder, with malloc
    tzset();
    const time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    utcOffset = local.tm_gmtoff;
    stack_t stack = {};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action = {};
    action.sa_sigaction = &onSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(signal, &action, nullptr);
#endif
}

void CrashReport::refreshModules()
{
#ifdef _WIN32
    if (prepare)
        ::SetEvent(prepare);
#else
    captureModules();
#endif
}

void CrashReport::fatalMessage()
{
#ifdef _WIN32
    if (requested)
        reportHere(fatalMessageCode);
#endif
}
