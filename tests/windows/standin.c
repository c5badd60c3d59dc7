/* Stand-ins for the two programs the launcher starts on Windows, for the Wine
 * end-to-end test (e2e.sh). One source, two builds:
 *   updater.exe     the game client: appends its working folder and its
 *                   arguments to started.txt beside itself.
 *   powershell.exe  (-DPOWERSHELL) reads its command line as Windows and
 *                   PowerShell do, accepts nothing but
 *                     -Command "Expand-Archive -LiteralPath '<zip>' -DestinationPath '<folder>' -Force"
 *                   for the paths in VELOR_EXPECT_ZIP and VELOR_EXPECT_FOLDER,
 *                   and unpacks the archive. It knows stored entries only: the
 *                   update archive holds an installer that is compressed
 *                   already, so the release stores it as it is.
 * Both write what they saw to a log beside themselves: the launcher gives
 * them no console. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

static void note(const wchar_t *file, const wchar_t *text)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    wcscpy(wcsrchr(path, L'\\') + 1, file);
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    FILE *f = _wfopen(path, L"ab");
    if (f && n > 0) {
        fwrite(utf8, 1, n - 1, f);
        fputc('\n', f);
    }
    if (f)
        fclose(f);
}

#ifndef POWERSHELL
int main(void)
{
    wchar_t line[4096];
    GetCurrentDirectoryW(MAX_PATH, line);
    wcscat(line, L"|");
    wcsncat(line, GetCommandLineW(), 4000 - wcslen(line));
    note(L"started.txt", line);
    return 0;
}
#else
static int fail(const wchar_t *why, const wchar_t *what)
{
    wchar_t line[4096];
    _snwprintf(line, 4096, L"FAIL %ls: %ls", why, what);
    line[4095] = 0;
    note(L"powershell.log", line);
    return 1;
}

/* The next token of the command text: a bare word, or a single-quoted string
 * in which any of PowerShell's five single quotes ends the string and two in a
 * row stand for one. */
static const wchar_t *token(const wchar_t *s, wchar_t *out, int *quoted)
{
    static const wchar_t quotes[] = L"'\u2018\u2019\u201A\u201B";
    while (*s == L' ')
        ++s;
    *quoted = *s && wcschr(quotes, *s);
    if (*quoted) {
        for (++s; *s && !(wcschr(quotes, *s) && !(s[1] && wcschr(quotes, s[1]))); ++s) {
            if (wcschr(quotes, *s))
                ++s;
            *out++ = *s;
        }
        if (!*s)
            return NULL;
        ++s;
    } else {
        while (*s && *s != L' ')
            *out++ = *s++;
    }
    *out = 0;
    return s;
}

static int samePath(const wchar_t *a, const wchar_t *b)
{
    for (; *a && *b; ++a, ++b)
        if (*a != *b && !(wcschr(L"/\\", *a) && wcschr(L"/\\", *b)))
            return 0;
    return *a == *b;
}

static unsigned get(const unsigned char *p, int n)
{
    return (unsigned)p[0] | (unsigned)p[1] << 8 | (n == 4 ? (unsigned)p[2] << 16 | (unsigned)p[3] << 24 : 0);
}

static int unpack(const wchar_t *zip, const wchar_t *folder)
{
    FILE *in = _wfopen(zip, L"rb");
    if (!in)
        return fail(L"cannot open", zip);
    unsigned char h[30];
    static char buf[1 << 16];
    while (fread(h, 1, 30, in) == 30 && get(h, 4) == 0x04034b50) {
        unsigned size = get(h + 18, 4), nameLen = get(h + 26, 2);
        char name[1024] = {0};
        if (get(h + 8, 2) != 0 || (get(h + 6, 2) & 8) || size != get(h + 22, 4) || nameLen >= sizeof name
            || fread(name, 1, nameLen, in) != nameLen || fseek(in, get(h + 28, 2), SEEK_CUR) != 0)
            return fail(L"not a stored entry", zip);
        if (strstr(name, "..") || strchr("/\\", name[0]) || strchr(name, ':'))
            return fail(L"entry outside the folder", zip);
        wchar_t path[2048];
        int at = _snwprintf(path, 1024, L"%ls\\", folder);
        MultiByteToWideChar(CP_UTF8, 0, name, -1, path + at, 1024);
        for (wchar_t *p = path; *p; ++p)
            if (*p == L'/' || *p == L'\\') {
                wchar_t keep = *p;
                *p = 0;
                CreateDirectoryW(path, NULL);
                *p = keep;
            }
        if (name[nameLen - 1] == '/')
            continue;
        FILE *out = _wfopen(path, L"wb");
        if (!out)
            return fail(L"cannot write", path);
        for (unsigned left = size, n; left; left -= n)
            if (!(n = fread(buf, 1, left < sizeof buf ? left : sizeof buf, in)) || fwrite(buf, 1, n, out) != n)
                return fail(L"short entry", path);
        fclose(out);
    }
    fclose(in);
    return 0;
}

int main(void)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    note(L"powershell.log", GetCommandLineW());
    if (argc < 3 || wcscmp(argv[1], L"-Command") != 0)
        return fail(L"expected -Command", GetCommandLineW());
    /* PowerShell joins everything after -Command into one script text. */
    wchar_t script[4096] = L"", words[6][1024], expectZip[1024], expectFolder[1024];
    for (int i = 2; i < argc; ++i)
        wcscat(wcscat(script, i > 2 ? L" " : L""), argv[i]);
    const wchar_t *s = script;
    int quoted[6];
    for (int i = 0; i < 6; ++i)
        if (!s || !(s = token(s, words[i], &quoted[i])))
            return fail(L"unbalanced quotes", script);
    if (*s || wcscmp(words[0], L"Expand-Archive") || wcscmp(words[1], L"-LiteralPath") || !quoted[2]
        || wcscmp(words[3], L"-DestinationPath") || !quoted[4] || wcscmp(words[5], L"-Force") || quoted[5])
        return fail(L"unexpected command", script);
    GetEnvironmentVariableW(L"VELOR_EXPECT_ZIP", expectZip, 1024);
    GetEnvironmentVariableW(L"VELOR_EXPECT_FOLDER", expectFolder, 1024);
    if (!samePath(words[2], expectZip) || !samePath(words[4], expectFolder))
        return fail(L"unexpected paths", script);
    return unpack(words[2], words[4]);
}
#endif
