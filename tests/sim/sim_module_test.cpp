// The simulated module as the window's actions meet it: driven through the device link on
// the simulated bus, the way the tool talks to the real module.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "byte_checks.h"
#include "device/device.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The simulated bus on its own, with one simulated module to put on it.
class SimBusTest : public ::testing::Test {
protected:
    SimModule module;
    SimBus bus;
    DeviceIdentity app = make_app_identity();
};

// The module on the bus, talked to through the device link as the tool does.
class SimModuleTest : public SimBusTest {
protected:
    DeviceIdentity loader = make_loader_identity();
    DeviceHandle h;

    void SetUp() override { bus.add_interface(module); }
    void TearDown() override { close_device(h); }

    DeviceHandle open(DeviceIdentity& id)
    {
        close_device(h);
        h = open_device(bus, id);
        return h;
    }

    Bytes ask(std::uint8_t code, std::size_t reply_length, std::uint32_t a = 0, std::uint32_t b = 0)
    {
        Bytes reply(reply_length, 0xEE);
        EXPECT_TRUE(send_command(h, code, a, b));
        EXPECT_TRUE(receive_data(h, reply.data(), reply.size()));
        return reply;
    }

    std::uint16_t bus_read(std::uint16_t address)
    {
        const Bytes r = ask(cmd_bus_read, bus_reply_length, address);
        EXPECT_TRUE(all_bytes_are(r.begin() + 2, r.end(), 0))
            << "bytes 2-7 of a bus read must be zero";
        return u16(r.data());
    }

    Bytes read_flash(std::uint32_t address, std::uint32_t length)
    {
        return ask(cmd_read_flash, length, address, length);
    }

    // RAM image out, then stored into a non-volatile bank; the result of the data reports.
    bool write_ram(const Bytes& image, std::uint32_t bank)
    {
        send_command(h, cmd_ram_write_begin, 0, ram_size);
        const bool sent = send_data(h, image.data(), image.size());
        send_command(h, cmd_ram_write_end, bank, ram_size);
        return sent;
    }
};


}  // namespace

// --- status and the two forms ----------------------------------------------------------

TEST_F(SimModuleTest, ApplicationStatusFollowsProcessorAndDacMode)
{
    ASSERT_TRUE(open(app).valid());
    Bytes s = ask(cmd_get_status, app_status_reply_length);
    EXPECT_EQ(s, (Bytes{0x00, 0x36, 0x04, 0x00, 1, 0, 0, 0}));

    send_command(h, cmd_cpu_stop);
    send_command(h, cmd_ext_dac_on);
    s = ask(cmd_get_status, app_status_reply_length);
    EXPECT_EQ(s[4], 0);
    EXPECT_EQ(s[5], 1);
    EXPECT_FALSE(module.cpu_running());
    EXPECT_TRUE(module.ext_dac_on());

    send_command(h, cmd_cpu_start);
    send_command(h, cmd_ext_dac_off);
    s = ask(cmd_get_status, app_status_reply_length);
    EXPECT_NE(s[4], 0);
    EXPECT_EQ(s[5], 0);
}

// The loader answers its version and the firmware's, ignores the application's commands, and
// an empty update leaves it waiting for commands.
TEST_F(SimModuleTest, TheLoaderAnswersItsOwnCommandsOnly)
{
    module.set_form(SimModule::Form::loader);
    ASSERT_TRUE(open(loader).valid());
    EXPECT_EQ(ask(cmd_get_status, loader_word_reply_length), (Bytes{0x03, 0x02, 0x01, 0x00}));
    EXPECT_EQ(ask(cmd_get_loader_info, loader_word_reply_length), (Bytes{0x00, 0x36, 0x04, 0x00}));
    ASSERT_FALSE(module.commands().empty());
    EXPECT_TRUE(module.commands().back().to_loader);

    const Bytes chunk(block_chunk_size, 3);
    write_block(h, chunk.data(), chunk.size(), flash_rom_address);
    send_command(h, cmd_cpu_stop);
    EXPECT_EQ(*module.flash_at(flash_rom_address), 0xFF);
    EXPECT_TRUE(module.cpu_running());

    send_command(h, cmd_update, 0, 0);
    EXPECT_EQ(module.form(), SimModule::Form::loader);
    EXPECT_EQ(module.updates_completed(), 0u);
    // Not waiting for data: the next frame is a command again.
    EXPECT_EQ(ask(cmd_get_status, 4), (Bytes{0x03, 0x02, 0x01, 0x00}));
}

TEST_F(SimModuleTest, UnreadReplyIsDroppedByTheNextCommand)
{
    ASSERT_TRUE(open(app).valid());
    send_command(h, cmd_read_flash, flash_rom_address, 16384);  // never read
    EXPECT_EQ(u32(ask(cmd_get_status, 8).data()), 0x00043600u);
    // A read with nothing pending answers zeros.
    Bytes extra(64, 0xEE);
    ASSERT_TRUE(receive_data(h, extra.data(), 10));
    EXPECT_TRUE(all_bytes_are(extra.begin(), extra.begin() + 10, 0));
}

// --- flash -----------------------------------------------------------------------------

TEST_F(SimModuleTest, FlashStartsErasedWithAValidConfigurationBlock)
{
    ASSERT_TRUE(open(app).valid());
    EXPECT_EQ(read_flash(flash_config_address, params_size),
              (Bytes{0x04, 0x01, 0x01, 0x00, 0x01, 0x04, 0x00, 0x00, 0x0B, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(all_bytes_are(read_flash(flash_rom_address, rom_size), 0xFF));
    // The extra report after the 16384-byte reply left the next exchange clean.
    EXPECT_EQ(read_flash(flash_config_address + 8, 4), (Bytes{0x0B, 0, 0, 0}));
}

TEST_F(SimModuleTest, FlashReadOutsideTheFlashGivesZeros)
{
    ASSERT_TRUE(open(app).valid());
    module.flash_at(flash_rom_address)[0] = 0x42;
    const Bytes below = read_flash(flash_rom_address - 2, 4);
    EXPECT_EQ(below, (Bytes{0x00, 0x00, 0x42, 0xFF}));
    const Bytes above = read_flash(flash_end_address - 2, 4);
    EXPECT_EQ(above, (Bytes{0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(read_flash(0xFFFFFFF0u, 32), Bytes(32, 0));
    EXPECT_EQ(module.flash_at(flash_end_address), nullptr);
    EXPECT_EQ(module.flash_at(flash_rom_address - 1), nullptr);
}

TEST_F(SimModuleTest, WriteBlockCommitsEveryChunkAndReadsBack)
{
    ASSERT_TRUE(open(app).valid());
    Bytes kvp(kvp_size);
    for (std::size_t i = 0; i < kvp.size(); ++i) kvp[i] = static_cast<std::uint8_t>(i * 7 + 0x55);
    kvp[0] = command_marker;  // data that looks like a frame is still data
    kvp[64] = command_marker;
    kvp[65] = cmd_restart;
    ASSERT_TRUE(write_block(h, kvp.data(), kvp.size(), flash_kvp_address));
    EXPECT_EQ(module.chunks_committed(), 8u);
    EXPECT_EQ(module.chunks_rejected(), 0u);
    EXPECT_EQ(module.restarts(), 0u);
    EXPECT_EQ(read_flash(flash_kvp_address, kvp_size), kvp);
    EXPECT_EQ(module.flash_at(flash_kvp_address - 1)[0], 0xFF) << "the AMT image is untouched";

    const Bytes zeros(block_chunk_size, 0);
    ASSERT_TRUE(write_block(h, zeros.data(), zeros.size(), flash_config_address));
    EXPECT_EQ(module.chunks_committed(), 9u) << "an all-zero chunk carries the sum 1";
    EXPECT_EQ(read_flash(flash_config_address, params_size), Bytes(params_size, 0));
}

TEST_F(SimModuleTest, ChunkWithWrongSumOrFramingIsIgnored)
{
    ASSERT_TRUE(open(app).valid());
    const Bytes chunk(block_chunk_size, 0x01);
    const std::uint32_t sum = chunk_sum(chunk.data(), chunk.size());
    const std::uint32_t at = flash_rom_address;
    auto attempt = [&](std::uint32_t begin_sum, std::uint32_t end_sum, std::uint32_t end_address,
                       std::size_t data_length) {
        send_command(h, cmd_block_begin, begin_sum, at, block_chunk_size);
        send_data(h, chunk.data(), data_length);
        send_command(h, cmd_block_end, end_sum, end_address, block_chunk_size);
    };

    attempt(sum + 1, sum + 1, at, chunk.size());   // sum does not match the data
    attempt(sum, sum + 1, at, chunk.size());       // end frame differs from begin frame
    attempt(sum, sum, at + 2048, chunk.size());    // end frame names another address
    send_command(h, cmd_block_end, sum, at, block_chunk_size);  // end without begin
    send_command(h, cmd_block_begin, sum, at, block_chunk_size);
    send_data(h, chunk.data(), chunk.size());
    send_command(h, cmd_get_status);                // something else before the end frame
    send_command(h, cmd_block_end, sum, at, block_chunk_size);
    EXPECT_EQ(module.chunks_rejected(), 6u);
    EXPECT_EQ(module.chunks_committed(), 0u);
    EXPECT_EQ(*module.flash_at(at), 0xFF);

    // Out of the flash: the range must lie inside it.
    write_block(h, chunk.data(), chunk.size(), flash_end_address - 1024);
    write_block(h, chunk.data(), chunk.size(), 0x08000000);
    EXPECT_EQ(module.chunks_rejected(), 8u);
    EXPECT_EQ(module.chunks_committed(), 0u);
    EXPECT_EQ(*module.flash_at(flash_end_address - 1024), 0xFF);

    // A whole, well-framed chunk still goes in after all that.
    ASSERT_TRUE(write_block(h, chunk.data(), chunk.size(), at));
    EXPECT_EQ(module.chunks_committed(), 1u);
    EXPECT_EQ(*module.flash_at(at + 2047), 0x01);
}

TEST_F(SimModuleTest, ChunkCutShortBySendFailureIsNotCommitted)
{
    ASSERT_TRUE(open(app).valid());
    const Bytes chunk(block_chunk_size, 0x02);
    bus.fail_report(10);  // a data report in the middle of the chunk
    EXPECT_FALSE(write_block(h, chunk.data(), chunk.size(), flash_amt_address));
    EXPECT_EQ(module.chunks_committed(), 0u);
    EXPECT_EQ(*module.flash_at(flash_amt_address), 0xFF);
}

// The module frames by order alone: what a report is depends on where it arrives.
TEST_F(SimModuleTest, ReportsArePlacedByTheirPositionNotByTheirContent)
{
    ASSERT_TRUE(open(app).valid());
    module.clear_placements();
    module.clear_commands();
    Bytes chunk(block_chunk_size, 0);
    chunk[0] = command_marker;  // the first data report reads as a hand-over: it is data
    chunk[1] = cmd_update;
    const std::uint32_t sum = chunk_sum(chunk.data(), chunk.size());
    const Bytes zeros(report_data_length, 0);

    send_command(h, cmd_block_begin, sum, flash_rom_address, block_chunk_size);
    send_data(h, chunk.data(), chunk.size());
    EXPECT_TRUE(module.mid_exchange()) << "the data are in, the end frame is due";
    send_data(h, zeros.data(), zeros.size());  // a stray report there changes nothing
    send_command(h, cmd_restart);              // the frame after the data is taken as the end
    EXPECT_FALSE(module.mid_exchange());
    send_command(h, cmd_block_end, sum, flash_rom_address, block_chunk_size);  // no begin now
    send_data(h, zeros.data(), zeros.size());

    using P = SimPlacement;
    std::vector<P> placed;
    for (const SimReport& r : module.placements()) placed.push_back(r.placement);
    std::vector<P> expected{P::command};
    expected.insert(expected.end(), 32, P::data);
    expected.insert(expected.end(), {P::stray, P::end_frame, P::command, P::stray});
    EXPECT_EQ(placed, expected);
    EXPECT_EQ(module.placements()[1].first, command_marker);
    EXPECT_EQ(module.form(), SimModule::Form::application);
    EXPECT_EQ(module.restarts(), 0u) << "a restart where the end frame is due is not acted on";
    EXPECT_EQ(module.chunks_committed(), 0u);
    EXPECT_EQ(module.chunks_rejected(), 2u);
    EXPECT_EQ(*module.flash_at(flash_rom_address), 0xFF);
}

// --- RAM and its banks -----------------------------------------------------------------

TEST_F(SimModuleTest, RamWriteGoesIntoRamAndTheChosenBank)
{
    ASSERT_TRUE(open(app).valid());
    Bytes image(ram_size);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i % 251);
    image[0] = command_marker;

    send_command(h, cmd_cpu_stop);
    ASSERT_TRUE(write_ram(image, ram_bank_reserve));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), module.ram()));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), module.ram_bank(ram_bank_reserve)));
    EXPECT_FALSE(std::equal(image.begin(), image.end(), module.ram_bank(ram_bank_main)));
    EXPECT_EQ(ask(cmd_ram_read, ram_size, 0, ram_size), image);

    // The module boots from the main bank: a restart after a reserve write brings that back.
    send_command(h, cmd_restart);
    EXPECT_EQ(module.restarts(), 1u);
    EXPECT_TRUE(module.cpu_running());
    EXPECT_TRUE(all_bytes_are(module.ram(), module.ram() + ram_size, 0));

    ASSERT_TRUE(write_ram(image, ram_bank_main));
    send_command(h, cmd_restart);
    EXPECT_EQ(module.restarts(), 2u);
    EXPECT_EQ(ask(cmd_ram_read, ram_size, 0, ram_size), image);
}

TEST_F(SimModuleTest, UnknownBankSelectorStoresNothing)
{
    ASSERT_TRUE(open(app).valid());
    module.ram()[5] = 0x99;
    send_command(h, cmd_ram_write_end, 1234, ram_size);
    EXPECT_EQ(module.ram_bank(ram_bank_main)[5], 0);
    EXPECT_EQ(module.ram_bank(ram_bank_reserve)[5], 0);
    EXPECT_EQ(module.ram_bank(1234), nullptr);
}

// --- firmware update -------------------------------------------------------------------

TEST_F(SimModuleTest, UpdateHandsOverToTheLoaderAndBack)
{
    module.set_firmware_version_after_update(0x00043700);
    ASSERT_TRUE(open(app).valid());
    send_command(h, cmd_update);
    close_device(h);
    EXPECT_EQ(module.form(), SimModule::Form::loader);
    EXPECT_FALSE(open(app).valid());
    ASSERT_TRUE(open(loader).valid());

    Bytes image(248488);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13);
    image[0] = command_marker;
    image[1] = cmd_update;
    const auto length = static_cast<std::uint32_t>(image.size());
    ASSERT_TRUE(send_command(h, cmd_update, length, length / 65536));
    for (std::size_t sent = 0; sent < image.size(); sent += update_piece_size) {
        const std::size_t piece = std::min(update_piece_size, image.size() - sent);
        ASSERT_TRUE(send_data(h, image.data() + sent, piece));
        if (sent + piece < image.size()) {
            ASSERT_EQ(module.form(), SimModule::Form::loader);
        }
    }
    EXPECT_EQ(module.form(), SimModule::Form::application);
    EXPECT_EQ(module.last_update_image(), image);
    EXPECT_EQ(module.updates_completed(), 1u);
    EXPECT_EQ(module.firmware_version(), 0x00043700u);

    ASSERT_TRUE(open(app).valid());
    EXPECT_EQ(u32(ask(cmd_get_status, 8).data()), 0x00043700u);
}

// --- CNC bus registers -----------------------------------------------------------------

TEST_F(SimModuleTest, CountersReportCountsSinceTheirLastRead)
{
    ASSERT_TRUE(open(app).valid());
    module.advance_ms(1000);
    const std::uint16_t c1 = bus_read(bus_counter_kip1);
    const std::uint16_t c2 = bus_read(bus_counter_kip2);
    EXPECT_EQ(c1, 25);
    EXPECT_EQ(static_cast<std::int16_t>(c2), -10) << "channel 2 counts downwards";
    EXPECT_EQ(bus_read(bus_counter_kip1), 0) << "a read hands the counts over";
    EXPECT_EQ(bus_read(bus_counter_kip3), 100) << "other channels keep theirs until read";

    module.advance_ms(40);  // 1 count of channel 1 is due every 40 ms
    module.advance_ms(40);
    EXPECT_EQ(bus_read(bus_counter_kip1), 2);

    send_command(h, cmd_cpu_stop);
    module.advance_ms(5000);
    EXPECT_EQ(bus_read(bus_counter_kip4), 3) << "counts only while the CNC processor runs";

    module.add_counts(2, -2);
    EXPECT_EQ(bus_read(bus_counter_kip2), 0xFFFE);
    module.add_counts(3, 0x7FFF);
    module.add_counts(3, 5);
    EXPECT_EQ(bus_read(bus_counter_kip3), 0x7FFF) << "pending counts saturate at 16 bits";
    module.add_counts(3, -32768);
    EXPECT_EQ(bus_read(bus_counter_kip3), 0x8000);
}

TEST_F(SimModuleTest, OutputsChannelZeroAndDacReadBackWhatWasWritten)
{
    ASSERT_TRUE(open(app).valid());
    send_command(h, cmd_bus_write, bus_outputs_1, 0x8001);
    send_command(h, cmd_bus_write, bus_outputs_2, 0x1234);
    send_command(h, cmd_bus_write, bus_kip_outputs, 0xFFF5);
    for (std::uint16_t i = 0; i < 4; ++i)
        send_command(h, cmd_bus_write, bus_dac_kp1 + i, 0x8000u + 0x100u * i);
    EXPECT_EQ(bus_read(bus_outputs_1), 0x8001);
    EXPECT_EQ(bus_read(bus_outputs_2), 0x1234);
    EXPECT_EQ(bus_read(bus_kip_outputs) & 0x000F, 0x0005);
    EXPECT_EQ(bus_read(bus_kip_outputs) & 0xFFF0, 0) << "only bits 3..0 are outputs";
    for (std::uint16_t i = 0; i < 4; ++i) EXPECT_EQ(bus_read(bus_dac_kp1 + i), 0x8000 + 0x100 * i);

    send_command(h, cmd_bus_write, bus_inputs_1, 0xFFFF);  // inputs are read-only
    EXPECT_NE(module.bus_register(bus_inputs_1), 0xFFFF);
}

TEST_F(SimModuleTest, InputsMoveWithTimeUntilPinned)
{
    ASSERT_TRUE(open(app).valid());
    std::array<std::uint16_t, 4> before{}, after{};
    const std::uint16_t inputs[4] = {bus_inputs_1, bus_inputs_2, bus_inputs_3, bus_inputs_4};
    for (int i = 0; i < 4; ++i) before[i] = bus_read(inputs[i]);
    module.advance_ms(1750);
    for (int i = 0; i < 4; ++i) after[i] = bus_read(inputs[i]);
    for (int i = 0; i < 4; ++i) EXPECT_NE(before[i], after[i]) << "input " << i;

    module.set_bus_register(bus_inputs_2, 0177);
    module.advance_ms(3000);
    EXPECT_EQ(bus_read(bus_inputs_2), 0177);
}

TEST_F(SimModuleTest, EaReadsCarryFourInputWordsAndTwoOutputWords)
{
    ASSERT_TRUE(open(app).valid());
    const Bytes live1 = ask(cmd_ea_read_inputs, 8);
    module.advance_ms(1000);
    EXPECT_NE(ask(cmd_ea_read_inputs, 8), live1);

    module.set_ea_inputs({0x0102, 0x0304, 0x0506, 0x0708});
    module.set_ea_outputs({0xA1A2, 0xB1B2});
    EXPECT_EQ(ask(cmd_ea_read_inputs, 8), (Bytes{0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07}));
    EXPECT_EQ(ask(cmd_ea_read_outputs, 8), (Bytes{0xA2, 0xA1, 0xB2, 0xB1, 0, 0, 0, 0}));
}

TEST_F(SimModuleTest, CommandLogRecordsWhatArrived)
{
    ASSERT_TRUE(open(app).valid());
    module.clear_commands();
    send_command(h, cmd_bus_write, 0xF132, 0x8001, 7);
    const Bytes data(64, command_marker);
    send_command(h, cmd_ram_write_begin, 0, 64);
    send_data(h, data.data(), data.size());
    ASSERT_EQ(module.commands().size(), 2u) << "data reports are not commands";
    const SimCommand& c = module.commands()[0];
    EXPECT_EQ(c.code, cmd_bus_write);
    EXPECT_EQ(c.word_a, 0xF132u);
    EXPECT_EQ(c.word_b, 0x8001u);
    EXPECT_EQ(c.word_c, 7u);
    EXPECT_FALSE(c.to_loader);
}

// --- the simulated bus -----------------------------------------------------------------

TEST_F(SimBusTest, HandlesAreNeverReusedAndDieWithClose)
{
    bus.add_interface(module);
    std::vector<HidInterfaceInfo> list;
    ASSERT_TRUE(bus.list_interfaces(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].ids_known);
    EXPECT_EQ(list[0].vendor_id, module_vendor_id);
    EXPECT_EQ(list[0].product_id, module_product_id);

    const HidHandleId a = bus.open(list[0].path);
    ASSERT_NE(a, invalid_hid_id);
    bus.close(a);
    const HidHandleId b = bus.open(list[0].path);
    EXPECT_NE(a, b);
    const auto frame = CommandFrame{cmd_identify}.to_report();
    EXPECT_FALSE(bus.set_feature(a, frame.data(), frame.size()));
    EXPECT_TRUE(bus.set_feature(b, frame.data(), frame.size()));
    std::uint16_t v = 0, p = 0;
    EXPECT_FALSE(bus.attributes(a, v, p));
    bus.close(a);  // a second close counts nothing
    EXPECT_EQ(bus.closes(), 1u);
    EXPECT_EQ(bus.open_handles(), 1u);
    bus.close(b);
    EXPECT_EQ(bus.open_handles(), 0u);
    EXPECT_EQ(bus.opens(), 2u);
    EXPECT_EQ(bus.open("sim:1"), invalid_hid_id);
    EXPECT_EQ(bus.open("sim:0x"), invalid_hid_id);
    EXPECT_EQ(bus.open(""), invalid_hid_id);
}

TEST_F(SimBusTest, ReportsMustHaveTheInterfaceLengthAndReportIdZero)
{
    bus.add_interface(module);
    const HidHandleId h = bus.open("sim:0");
    auto frame = CommandFrame{cmd_identify}.to_report();
    EXPECT_FALSE(bus.set_feature(h, frame.data(), 64));
    frame[0] = 1;
    EXPECT_FALSE(bus.set_feature(h, frame.data(), frame.size()));
    EXPECT_TRUE(module.commands().empty());
    frame[0] = 0;
    EXPECT_TRUE(bus.set_feature(h, frame.data(), frame.size()));
    std::array<std::uint8_t, report_length> in{};
    EXPECT_FALSE(bus.get_feature(h, in.data(), 64));
    EXPECT_TRUE(bus.get_feature(h, in.data(), in.size()));
    EXPECT_EQ(in[0], 0);
    EXPECT_EQ(u16(&in[1]), app_identity_word);
    EXPECT_EQ(bus.set_reports(), 1u);
    EXPECT_EQ(bus.get_reports(), 1u);
    bus.close(h);
}

TEST_F(SimBusTest, VanishMidTransferFailsTheRestUntilRestoredAndReopened)
{
    const std::size_t m = bus.add_interface(module);
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());

    const Bytes image(ram_size, 0x11);
    send_command(h, cmd_ram_write_begin, 0, ram_size);
    bus.vanish_after(m, 100);
    EXPECT_FALSE(send_data(h, image.data(), image.size()));
    EXPECT_EQ(bus.set_reports(), 2u + 100u);
    std::vector<HidInterfaceInfo> list;
    ASSERT_TRUE(bus.list_interfaces(list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(open_device(bus, app).valid());
    close_device(h);
    EXPECT_EQ(bus.open_handles(), 0u);

    bus.restore_interface(m);
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid()) << "the module still takes every report as data of the transfer";
    module.advance_ms(1000);
    h = open_device(bus, app);
    EXPECT_TRUE(h.valid()) << "an unfinished transfer is abandoned after a second of silence";
    close_device(h);
}

TEST_F(SimBusTest, FailReportCountsFromArmingAndFiresOnce)
{
    bus.add_interface(module);
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());
    bus.fail_report(2);
    EXPECT_TRUE(send_command(h, cmd_cpu_stop));
    EXPECT_FALSE(send_command(h, cmd_cpu_start));
    EXPECT_TRUE(send_command(h, cmd_ext_dac_on));
    EXPECT_FALSE(module.cpu_running());
    EXPECT_TRUE(module.ext_dac_on());
    close_device(h);
}

TEST_F(SimBusTest, InterfaceWithAnotherFeatureLengthPassesShortPayloads)
{
    bus.add_interface(module, 33);
    const HidHandleId h = bus.open("sim:0");
    std::size_t length = 0;
    ASSERT_TRUE(bus.feature_report_length(h, length));
    EXPECT_EQ(length, 33u);
    const auto frame = CommandFrame{cmd_identify}.to_report();
    EXPECT_TRUE(bus.set_feature(h, frame.data(), 33));
    std::array<std::uint8_t, 33> in{};
    EXPECT_TRUE(bus.get_feature(h, in.data(), in.size()));
    EXPECT_EQ(u16(&in[1]), app_identity_word);
    bus.close(h);
}
