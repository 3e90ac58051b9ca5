// A hid.dll as someone might leave it beside the program in a Downloads folder or on a USB
// stick: it does nothing but leave the file "planted-hid-was-loaded" beside itself as soon as
// any program loads it.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t file[MAX_PATH];
    const DWORD length = GetModuleFileNameW(self, file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    std::wstring mark(file, length);
    mark.erase(mark.find_last_of(L"\\/") + 1);
    mark += L"planted-hid-was-loaded";
    const HANDLE h = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return TRUE;
}
