/* Stand-ins for the programs the launcher starts on Windows:
 *   updater.exe     (the game client, and an installer): appends "<arguments>|<working folder>"
 *                   to started.txt beside itself.
 *   powershell.exe  (-DPOWERSHELL): reads its command line as Windows and PowerShell do, accepts
 *                   only -Command "Expand-Archive -LiteralPath '<zip>' -DestinationPath '<folder>'
 *                   -Force" for the paths in VELOR_EXPECT_ZIP and VELOR_EXPECT_FOLDER, and unpacks
 *                   with the host's unzip, which Wine can start. Verdicts go to powershell.log. */
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

#ifndef POWERSHELL
int main(void)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc), line[8192] = L"";
    for (int i = 1; i < argc; ++i)
        wcscat(wcscat(line, i > 1 ? L" " : L""), argv[i]);
    wcscat(line, L"|");
    GetCurrentDirectoryW(4096, line + wcslen(line));
    return note(L"started.txt", line) - 1;
}
#else
static const wchar_t quotes[] = L"'\u2018\u2019\u201A\u201B";

/* The next word, or single-quoted string: any of PowerShell's five single quotes
 * ends it, and two in a row stand for one. Returns NULL for an unclosed string. */
static const wchar_t *token(const wchar_t *s, wchar_t *out, int *quoted)
{
    while (*s == L' ')
        ++s;
    if ((*quoted = *s && wcschr(quotes, *s))) {
        for (++s; *s && !(wcschr(quotes, *s) && !(s[1] && wcschr(quotes, s[1]))); ++s)
            *out++ = wcschr(quotes, *s) ? *++s : *s;
        if (!*s++)
            return NULL;
    }
    while (!*quoted && *s && *s != L' ')
        *out++ = *s++;
    *out = 0;
    return s;
}

int main(void)
{
    int argc, quoted[6];
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc), script[4096] = L"", word[6][1024], expected[2][1024];
    note(L"powershell.log", GetCommandLineW());
    for (int i = 2; i < argc; ++i) /* PowerShell joins what follows -Command into one script */
        wcscat(wcscat(script, i > 2 ? L" " : L""), argv[i]);
    const wchar_t *s = script;
    for (int i = 0; i < 6 && s; ++i)
        s = token(s, word[i], &quoted[i]);
    GetEnvironmentVariableW(L"VELOR_EXPECT_ZIP", expected[0], 1024);
    GetEnvironmentVariableW(L"VELOR_EXPECT_FOLDER", expected[1], 1024);
    for (wchar_t *p = word[2]; *p; ++p) /* the launcher writes / where Windows writes \ */
        *p = *p == L'/' ? L'\\' : *p;
    for (wchar_t *p = word[4]; *p; ++p)
        *p = *p == L'/' ? L'\\' : *p;
    if (argc < 3 || wcscmp(argv[1], L"-Command") || !s || *s || wcscmp(word[0], L"Expand-Archive")
        || wcscmp(word[1], L"-LiteralPath") || wcscmp(word[3], L"-DestinationPath") || wcscmp(word[5], L"-Force")
        || quoted[0] || quoted[1] || !quoted[2] || quoted[3] || !quoted[4] || quoted[5])
        return note(L"powershell.log", L"FAIL: not the expected command");
    if (_wcsicmp(word[2], expected[0]) || _wcsicmp(word[4], expected[1]))
        return note(L"powershell.log", L"FAIL: not the expected paths");
    /* The host's unzip, which Wine starts but cannot wait for: it leaves its exit code in <folder>.done. */
    char *(CDECL * unixName)(const wchar_t *) = (void *)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    wchar_t command[4096], zip[1024], folder[1024], done[1024];
    MultiByteToWideChar(CP_UTF8, 0, unixName(word[2]), -1, zip, 1024);
    MultiByteToWideChar(CP_UTF8, 0, unixName(word[4]), -1, folder, 1024);
    _snwprintf(command, 4096, L"/bin/sh -c \"unzip -o -q \\\"$0\\\" -d \\\"$1\\\"; echo $? > \\\"$1.done\\\"\" \"%ls\" \"%ls\"", zip, folder);
    _snwprintf(done, 1024, L"%ls.done", word[4]);
    DeleteFileW(done);
    STARTUPINFOW startup = {0};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION unzip;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &unzip))
        return note(L"powershell.log", L"FAIL: no unzip");
    for (int i = 0; i < 600 && GetFileAttributesW(done) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    int code = 1;
    FILE *f = _wfopen(done, L"r");
    if (f) {
        code = fscanf(f, "%d", &code) == 1 ? code : 1;
        fclose(f);
        DeleteFileW(done);
    }
    return code;
}
#endif
