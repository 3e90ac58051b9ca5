#include "define/win32/system_library.h"

void restrict_dll_search()
{
    ::SetDllDirectoryW(L"");
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const auto set_default = reinterpret_cast<SetDefaultDllDirectories>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::wstring system_folder_file(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}

HMODULE load_system_library(const wchar_t* name)
{
    const std::wstring path = system_folder_file(name);
    if (path.empty()) return nullptr;
    // A missing library must not bring up the system's "cannot find file" box. With a full
    // path, the altered search takes what the library needs from its own folder first.
    const UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ::SetErrorMode(old_mode);
    return module;
}

FARPROC LateEntry::get()
{
    std::call_once(bound_, [this] {
        const HMODULE module = load_system_library(library_);
        if (module != nullptr) entry_ = ::GetProcAddress(module, name_);
        if (entry_ != nullptr) return;
        error_ = ::GetLastError();
        // A library without the entry point is of no use: released again.
        if (module != nullptr) ::FreeLibrary(module);
    });
    if (entry_ == nullptr) ::SetLastError(error_);
    return entry_;
}
