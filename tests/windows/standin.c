/* Stand-ins for what the launcher starts. The client and installers append "<arguments>|<working
 * folder>" to started.txt beside themselves. powershell.exe (-DPOWERSHELL) splits its command line
 * as Windows does, takes only "-NoProfile -NonInteractive -Command" and exactly VELOR_EXPECT_COMMAND
 * (a format whose two %ls are the update's folder name),
 * and has the host's unzip, which Wine starts but cannot wait for, unpack the archive; failures go
 * to powershell.log. holder.exe (-DHOLD) holds the file it is given open, without delete sharing, for 5 s, once
 * it notes it in held.txt. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

static int note(const wchar_t *file, const wchar_t *text)
{
    wchar_t path[MAX_PATH];
    char utf8[8192];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    wcscpy(wcsrchr(path, L'\\') + 1, file);
    FILE *f = _wfopen(path, L"ab");
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    fprintf(f, "%s\n", utf8);
    fclose(f);
    return 1;
}

int main(void)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc), line[8192] = L"";
#ifndef POWERSHELL
#ifdef HOLD
    HANDLE held = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    note(L"held.txt", argv[1]);
    Sleep(5000);
    return !CloseHandle(held);
#endif
    for (int i = 1; i < argc; ++i)
        wcscat(wcscat(line, i > 1 ? L" " : L""), argv[i]);
    wcscat(line, L"|");
    GetCurrentDirectoryW(4096, line + wcslen(line));
    return note(L"started.txt", line) - 1;
#else
    wchar_t expected[4096], zip[1024], folder[1024], command[4096], format[4096], name[32] = L"";
    GetEnvironmentVariableW(L"VELOR_EXPECT_COMMAND", format, 4096);
    /* The update's folder is named at random: "VelorLauncher_Update-" and six characters. */
    const wchar_t *named = argc == 5 ? wcsstr(argv[4], L"VelorLauncher_Update-") : NULL;
    wcsncpy(name, named ? named : L"", 27);
    _snwprintf(expected, 4096, format, name, name);
    if (argc != 5 || wcscmp(argv[1], L"-NoProfile") || wcscmp(argv[2], L"-NonInteractive")
        || wcscmp(argv[3], L"-Command") || wcscmp(argv[4], expected))
        return note(L"powershell.log", L"FAIL: not the expected command");
    char *(CDECL * unixName)(const wchar_t *) = (void *)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    GetEnvironmentVariableW(L"TEMP", line, 4096);
    wcscat(wcscat(wcscat(line, L"\\"), name), L"\\update.zip");
    MultiByteToWideChar(CP_UTF8, 0, unixName(line), -1, zip, 1024);
    wcscpy(wcsrchr(line, L'\\') + 1, L"files");
    MultiByteToWideChar(CP_UTF8, 0, unixName(line), -1, folder, 1024);
    _snwprintf(command, 4096, L"/bin/sh -c \"unzip -o -q \\\"$0\\\" -d \\\"$1\\\" && touch \\\"$1.done\\\"\" \"%ls\" \"%ls\"", zip, folder);
    _snwprintf(expected, 4096, L"%ls.done", line);
    STARTUPINFOW startup = {0};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION unzip;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &unzip))
        return note(L"powershell.log", L"FAIL: no unzip");
    for (int i = 0; i < 600 && GetFileAttributesW(expected) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    return !DeleteFileW(expected) && note(L"powershell.log", L"FAIL: unzip");
#endif
}
