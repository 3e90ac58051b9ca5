// lirvan-service.exe: the service tool, talking to the module through the system's HID
// library. The library is bound before the window exists and released after its message loop;
// before it, the search for DLLs is narrowed to the system folder.
#include <windows.h>

#include "app/carried_update.h"
#include "app/win32/win32_window.h"
#include "device/system_hid.h"
#include "define/win32/system_library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command)
{
    restrict_dll_search();
    const std::unique_ptr<Hid> hid = make_system_hid();
    int code = 0;
    {
        Win32Window window(*hid, carried_update_image());
        window.start();
        window.show(show_command);
        code = window.run();
    }
    return code;
}
