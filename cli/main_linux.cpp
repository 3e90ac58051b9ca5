// lirvan-cli: the module's actions from a shell, on the system's HID backend.
#include <iostream>

#include "app/carried_update.h"
#include "cli/cli.h"
#include "cli/platform.h"
#include "device/system_hid.h"

int main(int argc, char** argv)
{
    CliEnv env(std::cout, std::cerr);
    env.err_is_terminal = stderr_is_terminal();
    env.make_system_hid = [] { return make_system_hid(); };
    env.firmware = carried_update_image();
    env.demo_firmware = carried_demo_update_image();
    return run_cli(std::vector<std::string>(argv + 1, argv + argc), env);
}
