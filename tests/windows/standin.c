/* Stand-ins for the programs the launcher starts on Windows (e2e.sh builds both):
 *   updater.exe     the game client: appends "<working folder>|<command line>" to started.txt.
 *   powershell.exe  (-DPOWERSHELL) reads its command line as Windows and PowerShell do, accepts
 *                   only -Command "Expand-Archive -LiteralPath '<zip>' -DestinationPath '<folder>'
 *                   -Force" for the paths in VELOR_EXPECT_ZIP and VELOR_EXPECT_FOLDER, and
 *                   unpacks. Stored entries only: the release stores the (compressed) installer.
 * Each writes what it saw to a file beside itself: the launcher gives them no console. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static int note(const wchar_t *file, const wchar_t *text)
{
    wchar_t path[MAX_PATH];
    char utf8[8192];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    wcscpy(wcsrchr(path, L'\\') + 1, file);
    FILE *f = _wfopen(path, L"ab");
    if (f && WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL) > 0)
        fprintf(f, "%s\n", utf8);
    if (f)
        fclose(f);
    return 1;
}

#ifndef POWERSHELL
int main(void)
{
    wchar_t line[8192];
    GetCurrentDirectoryW(MAX_PATH, line);
    _snwprintf(line + wcslen(line), 4096, L"|%ls", GetCommandLineW());
    note(L"started.txt", line);
    return 0;
}
#else
#define FAIL(why) note(L"powershell.log", L"FAIL " why)
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

static int samePath(const wchar_t *a, const wchar_t *b)
{
    for (; *a && (*a == *b || (wcschr(L"/\\", *a) && *b && wcschr(L"/\\", *b))); ++a, ++b) {}
    return *a == *b;
}

static unsigned le(const unsigned char *p, int n)
{
    return n == 2 ? (unsigned)(p[0] | p[1] << 8) : le(p, 2) | le(p + 2, 2) << 16;
}

static int unpack(const wchar_t *zip, const wchar_t *folder)
{
    static char data[1 << 16];
    unsigned char h[30];
    char name[1024];
    wchar_t path[2048];
    FILE *in = _wfopen(zip, L"rb"), *out;
    while (in && fread(h, 1, 30, in) == 30 && le(h, 4) == 0x04034b50) {
        unsigned size = le(h + 18, 4), nameLen = le(h + 26, 2);
        if (!nameLen || le(h + 8, 2) || (le(h + 6, 2) & 8) || size != le(h + 22, 4) || nameLen >= sizeof name
            || fread(name, 1, nameLen, in) != nameLen || fseek(in, le(h + 28, 2), SEEK_CUR))
            return FAIL(L"not a stored entry");
        name[nameLen] = 0;
        if (strstr(name, "..") || strchr("/\\", name[0]) || strchr(name, ':'))
            return FAIL(L"entry outside the folder");
        int at = _snwprintf(path, 1024, L"%ls\\", folder);
        MultiByteToWideChar(CP_UTF8, 0, name, -1, path + at, 1024);
        for (wchar_t *p = path; *p; ++p)   /* the folders on the way, as Expand-Archive makes them */
            if (wcschr(L"/\\", *p)) {
                *p = 0;
                CreateDirectoryW(path, NULL);
                *p = L'\\';
            }
        if (name[nameLen - 1] == '/')
            continue;
        if (!(out = _wfopen(path, L"wb")))
            return FAIL(L"cannot write");
        for (unsigned left = size, n; left; left -= n)
            if (!(n = fread(data, 1, left < sizeof data ? left : sizeof data, in)) || fwrite(data, 1, n, out) != n)
                return FAIL(L"short entry");
        fclose(out);
    }
    return in ? fclose(in) : FAIL(L"cannot open the archive");
}

int main(void)
{
    int argc, quoted[6];
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t script[4096] = L"", word[6][1024], zip[1024], folder[1024];
    note(L"powershell.log", GetCommandLineW());
    for (int i = 2; i < argc; ++i)   /* PowerShell joins what follows -Command into one script */
        wcscat(wcscat(script, i > 2 ? L" " : L""), argv[i]);
    const wchar_t *s = script;
    for (int i = 0; i < 6 && s; ++i)
        s = token(s, word[i], &quoted[i]);
    GetEnvironmentVariableW(L"VELOR_EXPECT_ZIP", zip, 1024);
    GetEnvironmentVariableW(L"VELOR_EXPECT_FOLDER", folder, 1024);
    if (argc < 3 || wcscmp(argv[1], L"-Command") || !s || *s || wcscmp(word[0], L"Expand-Archive")
        || wcscmp(word[1], L"-LiteralPath") || !quoted[2] || wcscmp(word[3], L"-DestinationPath") || !quoted[4]
        || wcscmp(word[5], L"-Force") || quoted[0] || quoted[1] || quoted[3] || quoted[5])
        return FAIL(L"not the expected command");
    if (!samePath(word[2], zip) || !samePath(word[4], folder))
        return FAIL(L"not the expected paths");
    return unpack(word[2], word[4]);
}
#endif
