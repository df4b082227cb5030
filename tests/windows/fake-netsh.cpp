// Stands in for netsh.exe in the installer test's Wine prefix: appends its command line to the
// file that LANSCOUT_NETSH_LOG names, one line a call, and succeeds.
#include <windows.h>

int main()
{
    wchar_t path[MAX_PATH];
    if (!GetEnvironmentVariableW(L"LANSCOUT_NETSH_LOG", path, MAX_PATH))
        return 1;
    const HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    const wchar_t *line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(log, line, DWORD(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(log, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(log);
    return 0;
}
