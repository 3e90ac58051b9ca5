// Windows-only parts of the serial layer that its tests reach.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The port listing of com_port_list over a given registry key whose values are the port names
// (tests use a made-up key; the system's is HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM).
void com_port_list_in(HKEY root, const wchar_t* subkey, std::vector<std::string>& list);
