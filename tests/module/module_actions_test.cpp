// The module's actions on the simulated module, without a window: what a command-line front
// end sees (a buffer, a progress callback, readings by address) and the result that names the
// failing exchange. The window tests drive the same functions through the window's handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "module/actions.h"
#include "module/memories.h"
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
    module.set_bus_register(bus_outputs_1, 0123456);
    module.set_bus_register(bus_outputs_2, 0177);
    const std::uint16_t addresses[] = {bus_outputs_1, bus_outputs_2, bus_outputs_1};
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

TEST_F(ModuleActions, ReadBackFindsTheChunkTheModuleDroppedSilently)
{
    Bytes image(rom_size);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 512);
    const DeviceHandle h = open(app);
    // Each 2 KiB chunk is its begin frame, 32 data reports and its end frame: the fifth data
    // report of the third chunk arrives disturbed, its sum fails, and the module drops it.
    bus.disturb_set_report(2 * 34 + 1 + 5);
    const VerifiedWrite w = write_flash_verified(h, flash_rom_address, image);
    EXPECT_TRUE(w.write.ok()) << "every report was taken: the write alone looks fine";
    EXPECT_EQ(module.chunks_rejected(), 1u);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.verify.outcome.failure, ActionFailure::mismatch);
    // The dropped chunk still holds the erased flash.
    std::size_t differing = 0;
    std::size_t first = 0;
    for (std::size_t i = 2 * block_chunk_size; i < 3 * block_chunk_size; ++i)
        if (image[i] != erased_flash_byte && differing++ == 0) first = i;
    EXPECT_EQ(w.verify.differing_bytes, differing);
    EXPECT_EQ(w.verify.first_difference, flash_rom_address + first);
    EXPECT_EQ(w.verify.written_byte, image[first]);
    EXPECT_EQ(w.verify.read_byte, erased_flash_byte);
    EXPECT_EQ(codes().back(), cmd_read_flash);

    // Written again undisturbed, the range matches; verify alone reads without writing.
    EXPECT_TRUE(write_flash_verified(h, flash_rom_address, image).ok());
    module.clear_commands();
    const VerifyResult v = verify_flash(h, flash_rom_address, image);
    EXPECT_TRUE(v.matches());
    EXPECT_EQ(v.differing_bytes, 0u);
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{cmd_read_flash}));
    // A read-back that does not arrive compares nothing.
    bus.fail_report(2);
    const VerifyResult lost = verify_flash(h, flash_rom_address, image);
    EXPECT_EQ(lost.outcome.failure, ActionFailure::short_reply);
    EXPECT_EQ(lost.differing_bytes, 0u);
}

// Every memory of the table goes where the module keeps it and comes back whole: the block as
// its page (erased after it), the images at their addresses, the RAM into the bank asked for
// (and not read back); the read-back of flash names the first byte that differs. A front end
// draws its progress from the transfers' callbacks: each read and write tells the bytes moved,
// rising report by report to the whole transfer (the block is written as its whole page), and
// a transfer cut short stops where the module stopped taking reports.
TEST_F(ModuleActions, EveryMemoryOfTheTableIsWrittenReadAndReadBackWhereTheModuleKeepsIt)
{
    const DeviceHandle h = open(app);
    std::vector<std::size_t> seen;
    std::size_t whole = 0;
    const TransferProgress progress = [&](std::size_t done, std::size_t total) {
        EXPECT_TRUE(seen.empty() || done > seen.back()) << done;
        seen.push_back(done);
        whole = total;
    };
    for (const MemoryInfo& info : all_memories()) {
        SCOPED_TRACE(info.name);
        Bytes bytes(info.size);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 5 + info.size / 7);
        module.clear_commands();
        const std::size_t written = info.memory == Memory::config ? flash_page_size : info.size;
        seen.clear();
        ASSERT_TRUE(write_memory(h, info.memory, bytes, ram_bank_reserve, progress).ok());
        EXPECT_EQ(seen.size(), data_report_count(written));
        EXPECT_EQ(whole, written);
        EXPECT_EQ(seen.back(), written);
        Bytes back(info.size, 0);
        seen.clear();
        if (!info.in_flash()) {
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), module.ram_bank(ram_bank_reserve)));
            EXPECT_EQ(codes().back(), cmd_restart);
            EXPECT_EQ(verify_memory(h, info.memory, bytes).outcome.failure, ActionFailure::bad_input);
            ASSERT_TRUE(read_memory(h, info.memory, back, false, progress).ok());
            EXPECT_EQ(whole, info.size);
            EXPECT_EQ(seen.back(), info.size);
            continue;
        }
        const std::uint8_t* flash = module.flash_at(info.flash_address);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash));
        if (info.memory == Memory::config) {
            EXPECT_EQ(flash[info.size], erased_flash_byte);
        }
        EXPECT_TRUE(read_memory(h, info.memory, back, false, progress).ok());
        EXPECT_EQ(back, bytes);
        EXPECT_EQ(whole, info.size);
        EXPECT_EQ(seen.back(), info.size);
        bytes[info.size - 1] ^= 0x5A;
        const VerifyResult v = verify_memory(h, info.memory, bytes);
        EXPECT_EQ(v.differing_bytes, 1u);
        EXPECT_EQ(v.first_difference, info.flash_address + info.size - 1);
        EXPECT_EQ(v.read_byte, back.back());
    }
    seen.clear();
    Bytes rom(rom_size, 0x11);
    bus.fail_report(34 + 1 + 7);  // the first chunk (two frames, 32 reports), the 7th data report of the second
    EXPECT_FALSE(write_memory(h, Memory::rom, rom, ram_bank_main, progress).ok());
    EXPECT_EQ(seen.back(), block_chunk_size + 6 * report_data_length);
}

}  // namespace
