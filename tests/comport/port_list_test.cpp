// The port listing over a made-up sysfs tty folder: real devices only, UARTs only where one
// answered, sorted as text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "comport/serial_port.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

namespace {

struct TtyTree {
    ScratchFolder scratch{"lirvan-tty-"};
    fs::path root = scratch.path();
    // A tty entry; with_device links it to hardware, type < 0 leaves out the UART type file.
    void add(const std::string& name, bool with_device, int type = -1)
    {
        fs::create_directories(root / name);
        if (with_device) fs::create_directories(root / name / "device");
        if (type >= 0) std::ofstream(root / name / "type") << type << "\n";
    }
};

}  // namespace

TEST(PortList, ListsHardwarePortsWhereAUartAnswersSortedAsText)
{
    TtyTree tree;
    tree.add("ttyUSB0", true);       // USB adapter: no UART type file
    tree.add("ttyS0", true, 4);      // 16550A found
    tree.add("ttyS1", true, 0);      // legacy address, nothing there
    tree.add("ttyACM0", true);
    tree.add("ttyS10", true, 4);
    tree.add("tty1", false);         // virtual console
    tree.add("ptmx", false);
    std::vector<std::string> list{"stale"};
    com_port_list_in(tree.root.c_str(), list);
    EXPECT_EQ(list, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS10", "ttyUSB0"}));
}

TEST(PortList, NoTtyFolderGivesAnEmptyList)
{
    std::vector<std::string> list{"stale"};
    com_port_list_in("/nonexistent/tty", list);
    EXPECT_TRUE(list.empty());
}
