// The module's actions on the simulated module, without a window: what a command-line front
// end sees (a buffer, a progress callback, readings by address) and the result that names the
// failing exchange. The window tests drive the same functions through the window's handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "module/actions.h"
#include "module/module_hold.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ModuleActions : public ::testing::Test {
protected:
    ModuleActions() { bus.add_interface(module); }
    // Opens the given form; the searches' identify handshake takes reports 1 and 2.
    DeviceHandle open(DeviceIdentity& identity)
    {
        EXPECT_TRUE(hold.open(identity));
        return hold.handle();
    }
    std::vector<std::uint8_t> codes() const
    {
        std::vector<std::uint8_t> out;
        for (const auto& c : module.commands())
            if (c.code != cmd_identify) out.push_back(c.code);
        return out;
    }

    SimModule module;
    SimBus bus;
    ModuleHold hold{bus};
    DeviceIdentity app = make_app_identity();
    DeviceIdentity loader = make_loader_identity();
};

TEST_F(ModuleActions, UpdateStreamAnnouncesTheLengthAndItsSixtyFourKilobyteCount)
{
    module.set_form(SimModule::Form::loader);
    Bytes image(3 * 65536 + 5);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    std::vector<std::size_t> progress;
    const ActionResult r = stream_update_image(open(loader), image, [&](std::size_t sent, std::size_t total) {
        EXPECT_EQ(total, image.size());
        progress.push_back(sent);
    });
    EXPECT_TRUE(r.ok()) << r.text;
    const auto& log = module.commands();
    const auto announce = std::find_if(log.begin(), log.end(),
                                       [](const SimCommand& c) { return c.code == cmd_update; });
    ASSERT_NE(announce, log.end());
    EXPECT_EQ(announce->word_a, 3u * 65536u + 5u);
    EXPECT_EQ(announce->word_b, 3u);
    EXPECT_EQ(announce->word_c, 0u);
    EXPECT_EQ(module.updates_completed(), 1u);
    EXPECT_EQ(module.last_update_image(), image);
    ASSERT_EQ(progress.size(), 385u);  // 384 full pieces and the 5 bytes
    EXPECT_EQ(progress.back(), image.size());

    // Nothing to send and nobody to send it to are told apart, and neither sends anything.
    const std::size_t reports = bus.reports();
    EXPECT_EQ(stream_update_image(hold.handle(), {}).failure, ActionFailure::bad_input);
    hold.close();
    EXPECT_EQ(stream_update_image(hold.handle(), image).failure, ActionFailure::not_found);
    EXPECT_EQ(bus.reports(), reports);
}

TEST_F(ModuleActions, ResultNamesTheRefusedFrameOrTheShortReplyAndKeepsTheBuffer)
{
    Bytes out(kvp_size, 0xA5);
    bus.fail_report(3);  // the read command
    ActionResult r = read_flash_image(open(app), flash_kvp_address, out);
    EXPECT_EQ(r.failure, ActionFailure::refused);
    EXPECT_EQ(r.exchange, 1);
    EXPECT_NE(r.text.find("read flash"), std::string::npos);

    bus.fail_report(2 + 2 + 100);  // a new search, the command, then the reply
    r = read_flash_image(open(app), flash_kvp_address, out);
    EXPECT_EQ(r.failure, ActionFailure::short_reply);
    EXPECT_EQ(r.exchange, 2);
    EXPECT_EQ(out, Bytes(kvp_size, 0xA5)) << "a partial read never reaches the caller's buffer";

    // A refused RAM data report: the image is never stored in the bank.
    module.clear_commands();
    bus.fail_report(2 + 2 + 50);  // search, stop, begin, then a data report
    r = write_ram_image(open(app), Bytes(ram_size, 0x11), ram_bank_main);
    EXPECT_EQ(r.failure, ActionFailure::refused);
    EXPECT_EQ(r.exchange, 3);
    const auto sent = codes();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), cmd_ram_write_end), 0);
    EXPECT_NE(module.ram_bank(ram_bank_main)[0], 0x11);
}

TEST_F(ModuleActions, RegistersByAddressListAndTheConfigurationBlockIntoABuffer)
{
    module.set_bus_register(bus_out_170462, 0123456);
    module.set_bus_register(bus_out_170464, 0177);
    const std::uint16_t addresses[] = {bus_out_170462, bus_out_170464, bus_out_170462};
    std::vector<RegisterReading> readings;
    bus.fail_report(2 + 2 + 2);  // the reply of the second read
    const ActionResult r = read_registers(open(app), addresses, readings);
    EXPECT_EQ(r.failure, ActionFailure::short_reply);
    EXPECT_EQ(r.exchange, 4);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_TRUE(readings[0].valid && readings[0].value == 0123456);
    EXPECT_FALSE(readings[1].valid) << "a failed read brings no value";
    EXPECT_TRUE(readings[2].valid && readings[2].value == 0123456) << "the reads after it still run";

    ConfigBlock block{6, 3, 4, 1, 3, 9, 0x5A, 4};
    renew_config_checksum(block);
    EXPECT_TRUE(write_config_block(hold.handle(), block));
    ConfigBlock back{};
    EXPECT_TRUE(read_config_block(hold.handle(), back));
    EXPECT_EQ(back, block);
    EXPECT_TRUE(config_block_checksum_ok(back));
    EXPECT_EQ(config_block_sum(back), 6u + 3 + 4 + 1 + 3 + 9 + 0x5A + 4);
    EXPECT_EQ(module.flash_at(flash_config_address)[params_size], erased_flash_byte);
    hold.close();
    EXPECT_EQ(bus.open_handles(), 0u);
}

}  // namespace
