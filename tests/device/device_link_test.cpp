// The device link: frames and data reports byte for byte, the reply read rule, the summed
// block write, and discovery over the simulated bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <numeric>
#include <string>
#include <vector>

#include "byte_checks.h"
#include "device/device.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

using Report = std::vector<std::uint8_t>;

// A Hid that records every report written to it byte for byte (report-id byte included) and
// answers reads from a queue. Only the report operations are used by these tests.
class RecordingHid : public Hid {
public:
    std::vector<Report> sent;
    std::deque<Report> answers;  // data bytes 0..63 of the next reads
    std::size_t gets = 0;
    std::size_t fail_set_at = 0;  // 1-based write attempt that fails
    std::size_t fail_get_at = 0;  // 1-based read attempt that fails
    std::size_t set_attempts = 0;
    std::size_t fail_all_from = 0;  // 1-based write attempt from which every write fails

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override
    {
        out.clear();
        return true;
    }
    HidHandleId open(const std::string&) override { return invalid_hid_id; }
    bool attributes(HidHandleId, std::uint16_t&, std::uint16_t&) override { return false; }
    bool feature_report_length(HidHandleId, std::size_t&) override { return false; }
    bool set_feature(HidHandleId, const std::uint8_t* buf, std::size_t length) override
    {
        if (++set_attempts == fail_set_at) return false;
        if (fail_all_from != 0 && set_attempts >= fail_all_from) return false;
        sent.emplace_back(buf, buf + length);
        return true;
    }
    bool get_feature(HidHandleId, std::uint8_t* buf, std::size_t length) override
    {
        if (++gets == fail_get_at) return false;
        EXPECT_EQ(length, report_length);
        EXPECT_EQ(buf[0], 0) << "report id must be 0 before the read";
        std::memset(buf + 1, 0, length - 1);
        if (!answers.empty()) {
            std::memcpy(buf + 1, answers.front().data(),
                        std::min(answers.front().size(), length - 1));
            answers.pop_front();
        }
        return true;
    }
    void close(HidHandleId) override {}

    DeviceHandle handle() { return DeviceHandle{this, 7}; }
};

Report frame_bytes(std::uint8_t code, std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    const auto r = CommandFrame{code, a, b, c}.to_report();
    return Report(r.begin(), r.end());
}

Report filled(std::size_t n, std::uint8_t first)
{
    Report r(n);
    std::iota(r.begin(), r.end(), first);
    return r;
}

}  // namespace

// --- command frames --------------------------------------------------------------------

TEST(CommandFrameTest, BusWriteFrameIsByteExact)
{
    RecordingHid hid;
    ASSERT_TRUE(send_command(hid.handle(), cmd_bus_write, 0xF132, 0x8001, 0));
    ASSERT_EQ(hid.sent.size(), 1u);
    Report expected(report_length, 0);
    const std::uint8_t head[] = {0x00, 0x55, 0x0E, 0x32, 0xF1, 0x00, 0x00, 0x01, 0x80,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(std::begin(head), std::end(head), expected.begin());
    EXPECT_EQ(hid.sent[0], expected);
}

TEST(CommandFrameTest, UpdateFrameCarriesLengthAndItsHighPart)
{
    const std::uint32_t length = 248488;
    const Report r = frame_bytes(cmd_update, length, length / 65536, 0);
    EXPECT_EQ(r[2], 0x06);
    EXPECT_EQ((Report{r.begin() + 3, r.begin() + 15}),
              (Report{0xA8, 0xCA, 0x03, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(all_bytes_are(r.begin() + 15, r.end(), 0));
}

TEST(CommandFrameTest, FromDataReadsTheWordsBackAndNeedsTheMarker)
{
    const Report r = frame_bytes(cmd_block_begin, 0x11223344, 0x0803F800, 2048);
    CommandFrame f;
    ASSERT_TRUE(CommandFrame::from_data(r.data() + 1, f));
    EXPECT_EQ(f.code, cmd_block_begin);
    EXPECT_EQ(f.word_a, 0x11223344u);
    EXPECT_EQ(f.word_b, 0x0803F800u);
    EXPECT_EQ(f.word_c, 2048u);

    Report data(report_data_length, 0);
    data[1] = cmd_identify;
    EXPECT_FALSE(CommandFrame::from_data(data.data(), f));
}

TEST(CommandFrameTest, InvalidHandleSendsNothing)
{
    EXPECT_FALSE(send_command(invalid_device_handle, cmd_identify));
    std::uint8_t byte = 0;
    EXPECT_FALSE(send_data(invalid_device_handle, &byte, 1));
    EXPECT_FALSE(receive_data(invalid_device_handle, &byte, 1));
}

// --- data reports ----------------------------------------------------------------------

TEST(SendDataTest, SplitsIntoReportsOf64WithZeroTail)
{
    RecordingHid hid;
    const Report bytes = filled(130, 1);
    ASSERT_TRUE(send_data(hid.handle(), bytes.data(), bytes.size()));
    ASSERT_EQ(hid.sent.size(), 3u);
    for (const auto& r : hid.sent) {
        EXPECT_EQ(r.size(), report_length);
        EXPECT_EQ(r[0], 0);
    }
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 64, hid.sent[0].begin() + 1));
    EXPECT_TRUE(std::equal(bytes.begin() + 64, bytes.begin() + 128, hid.sent[1].begin() + 1));
    EXPECT_EQ(hid.sent[2][1], bytes[128]);
    EXPECT_EQ(hid.sent[2][2], bytes[129]);
    EXPECT_TRUE(all_bytes_are(hid.sent[2].begin() + 3, hid.sent[2].end(), 0));
}

TEST(SendDataTest, NothingToSendIsSuccess)
{
    RecordingHid hid;
    EXPECT_TRUE(send_data(hid.handle(), nullptr, 0));
    EXPECT_TRUE(hid.sent.empty());
}

TEST(SendDataTest, FailedWriteInTheMiddleStopsTheTransfer)
{
    RecordingHid hid;
    hid.fail_set_at = 2;
    const Report bytes = filled(200, 0);
    EXPECT_FALSE(send_data(hid.handle(), bytes.data(), bytes.size()));
    EXPECT_EQ(hid.set_attempts, 2u) << "no report may follow the failed one";
    EXPECT_EQ(hid.sent.size(), 1u);
}

TEST(ReceiveDataTest, ShortReplyTakesOneReport)
{
    RecordingHid hid;
    hid.answers.push_back({0x03, 0x3B, 0xEE});
    std::uint8_t reply[2] = {};
    ASSERT_TRUE(receive_data(hid.handle(), reply, 2));
    EXPECT_EQ(hid.gets, 1u);
    EXPECT_EQ(reply[0], 0x03);
    EXPECT_EQ(reply[1], 0x3B);
}

TEST(ReceiveDataTest, MultipleOf64ReadsOneMoreReportAndDiscardsIt)
{
    struct Case { std::size_t length, reports; };
    for (const Case c : {Case{0, 1}, Case{64, 2}, Case{128, 3}, Case{130, 3}, Case{8192, 129},
                         Case{16384, 257}}) {
        RecordingHid hid;
        for (std::size_t i = 0; i < c.reports; ++i) hid.answers.push_back(Report(64, 0xA0 + i % 16));
        Report dest(c.length + 64, 0x5A);
        ASSERT_TRUE(receive_data(hid.handle(), dest.data(), c.length)) << c.length;
        EXPECT_EQ(hid.gets, c.reports) << c.length;
        for (std::size_t i = 0; i < c.length; ++i)
            ASSERT_EQ(dest[i], 0xA0 + (i / 64) % 16) << c.length << " at " << i;
        EXPECT_TRUE(all_bytes_are(dest.begin() + static_cast<std::ptrdiff_t>(c.length), dest.end(), 0x5A))
            << "the discarded report must not reach past the requested length " << c.length;
    }
}

TEST(ReceiveDataTest, EmptyReplyNeedsNoDestination)
{
    RecordingHid hid;
    EXPECT_TRUE(receive_data(hid.handle(), nullptr, 0));
    EXPECT_EQ(hid.gets, 1u);
}

TEST(ReceiveDataTest, FailedReadKeepsWhatArrivedAndStops)
{
    RecordingHid hid;
    hid.answers = {Report(64, 0x11), Report(64, 0x22), Report(64, 0x33)};
    hid.fail_get_at = 2;
    Report dest(150, 0x77);
    EXPECT_FALSE(receive_data(hid.handle(), dest.data(), dest.size()));
    EXPECT_EQ(hid.gets, 2u);
    EXPECT_TRUE(all_bytes_are(dest.begin(), dest.begin() + 64, 0x11));
    EXPECT_TRUE(all_bytes_are(dest.begin() + 64, dest.end(), 0x77));
}

// --- summed block write ----------------------------------------------------------------

TEST(WriteBlockTest, ZeroChunkCarriesSumOneInBothFrames)
{
    RecordingHid hid;
    const Report zeros(2048, 0);
    ASSERT_TRUE(write_block(hid.handle(), zeros.data(), zeros.size(), flash_config_address));
    ASSERT_EQ(hid.sent.size(), 34u);
    EXPECT_EQ(hid.sent.front(), frame_bytes(cmd_block_begin, 1, flash_config_address, 2048));
    EXPECT_EQ(hid.sent.back(), frame_bytes(cmd_block_end, 1, flash_config_address, 2048));
    for (std::size_t i = 1; i <= 32; ++i) EXPECT_EQ(hid.sent[i], Report(report_length, 0)) << i;
}

TEST(WriteBlockTest, ChunksAdvanceTheAddressAndCarryTheirOwnSums)
{
    RecordingHid hid;
    Report image(16384);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i / 2048 + 1);
    ASSERT_TRUE(write_block(hid.handle(), image.data(), image.size(), flash_rom_address));
    ASSERT_EQ(hid.sent.size(), 8u * 34u);
    for (std::uint32_t chunk = 0; chunk < 8; ++chunk) {
        const std::uint32_t address = flash_rom_address + chunk * 2048;
        const std::uint32_t sum = (chunk + 1) * 2048;
        EXPECT_EQ(hid.sent[chunk * 34], frame_bytes(cmd_block_begin, sum, address, 2048)) << chunk;
        EXPECT_EQ(hid.sent[chunk * 34 + 33], frame_bytes(cmd_block_end, sum, address, 2048)) << chunk;
    }
    EXPECT_EQ(hid.sent.back()[2], cmd_block_end);
    CommandFrame last;
    ASSERT_TRUE(CommandFrame::from_data(hid.sent[7 * 34].data() + 1, last));
    EXPECT_EQ(last.word_b, 0x08039000u);
}

TEST(WriteBlockTest, SumIsTakenOverUnsignedBytes)
{
    const Report high(2048, 0xFF);
    EXPECT_EQ(chunk_sum(high.data(), high.size()), 2048u * 255u);
    const Report none;
    EXPECT_EQ(chunk_sum(none.data(), 0), 1u);
}

TEST(WriteBlockTest, EmptyBlockSendsNothing)
{
    RecordingHid hid;
    EXPECT_TRUE(write_block(hid.handle(), nullptr, 0, flash_rom_address));
    EXPECT_TRUE(hid.sent.empty());
}

// A refused report of a chunk: the chunk is completed with zero reports (the refused one
// included, as it may not have arrived) and ended by a frame of sum 0, which the module drops;
// no later chunk follows. Two chunks of 4096 bytes: attempts 1..34 and 35..68.
struct Refusal {
    const char* name;
    std::size_t attempt;  // the refused write attempt
    std::size_t zeros;    // zero reports sent after it
    std::uint32_t chunk;  // the chunk it belongs to
};

class WriteBlockRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(WriteBlockRefusal, AbandonsTheChunkInStepAndStops)
{
    const Refusal& p = GetParam();
    RecordingHid hid;
    hid.fail_set_at = p.attempt;
    const Report image(4096, 0x10);
    EXPECT_FALSE(write_block(hid.handle(), image.data(), image.size(), flash_amt_address));

    RecordingHid whole;
    ASSERT_TRUE(write_block(whole.handle(), image.data(), image.size(), flash_amt_address));
    const std::size_t before = p.attempt - 1;
    ASSERT_EQ(hid.sent.size(), before + p.zeros + 1);
    EXPECT_TRUE(std::equal(hid.sent.begin(), hid.sent.begin() + before, whole.sent.begin()))
        << "up to the refusal the write is the whole write";
    for (std::size_t i = before; i < before + p.zeros; ++i) EXPECT_EQ(hid.sent[i], Report(report_length, 0)) << i;
    EXPECT_EQ(hid.sent.back(), frame_bytes(cmd_block_end, 0, flash_amt_address + p.chunk * 2048, 2048));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, WriteBlockRefusal,
    ::testing::Values(Refusal{"first_begin", 1, 32, 0}, Refusal{"first_data", 2, 32, 0},
                      Refusal{"data_of_second_chunk", 35 + 1 + 10, 22, 1},
                      Refusal{"last_data", 67, 1, 1}, Refusal{"last_end", 68, 0, 1}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// A link that refuses everything from some point on (the module pulled out): the recovery gives
// up after a few tries instead of sending for ever.
TEST(WriteBlockTest, RecoveryGivesUpWhenNothingGoesThrough)
{
    RecordingHid hid;
    hid.fail_all_from = 10;
    const Report image(16384, 0x10);
    EXPECT_FALSE(write_block(hid.handle(), image.data(), image.size(), flash_rom_address));
    EXPECT_EQ(hid.sent.size(), 9u);
    EXPECT_LE(hid.set_attempts, 9u + 4u);
    EXPECT_FALSE(send_zero_reports(hid.handle(), 5));
}

// --- discovery over the simulated bus --------------------------------------------------

class OpenDeviceTest : public ::testing::Test {
protected:
    SimBus bus;
    SimModule module;
    DeviceIdentity app = make_app_identity();
    DeviceIdentity loader = make_loader_identity();
};

TEST_F(OpenDeviceTest, EmptyBusOrFailedListingFindsNothing)
{
    app.found = true;
    DeviceHandle h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_FALSE(app.found);

    bus.add_interface(module);
    bus.set_list_fails(true);
    app.found = true;
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_FALSE(app.found);
    EXPECT_EQ(bus.opens(), 0u);
}

TEST_F(OpenDeviceTest, ForeignDevicesGetNoCommandAndNothingStaysOpen)
{
    ForeignDevice listed(0x046D, 0xC52B), unlisted(0x03EB, 0x6203), other_vendor(0x1234, 0x6202);
    const std::size_t a = bus.add_interface(listed);
    const std::size_t b = bus.add_interface(unlisted, report_length, false);
    const std::size_t c = bus.add_interface(other_vendor, report_length, false);
    const std::size_t m = bus.add_interface(module);

    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(app.found);
    EXPECT_EQ(bus.opens_of(a), 0u) << "ids known from the listing spare the device an open";
    EXPECT_EQ(bus.opens_of(b), 1u);
    EXPECT_EQ(bus.opens_of(c), 1u);
    EXPECT_EQ(bus.opens_of(m), 1u);
    EXPECT_EQ(listed.sets() + unlisted.sets() + other_vendor.sets(), 0u);
    EXPECT_EQ(bus.reports_to(b) + bus.reports_to(c), 0u);
    EXPECT_EQ(bus.open_handles(), 1u);
    close_device(h);
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(bus.open_handles(), 0u);
    EXPECT_EQ(bus.opens(), bus.closes());
}

// The module's other HID interface (another feature length) is opened and sent nothing; the
// first interface that passes wins and a second one is never opened.
TEST_F(OpenDeviceTest, OnlyTheFirstPassingInterfaceGetsCommands)
{
    SimModule second, twin;  // second stands for the module's other HID interface
    const std::size_t s = bus.add_interface(second, 33);
    const std::size_t first = bus.add_interface(module);
    const std::size_t t = bus.add_interface(twin);
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());
    EXPECT_EQ(bus.opens_of(s), 1u);
    EXPECT_EQ(bus.reports_to(s), 0u);
    EXPECT_EQ(bus.opens_of(first), 1u);
    EXPECT_EQ(bus.opens_of(t), 0u);
    EXPECT_TRUE(twin.commands().empty());
    close_device(h);

    bus.remove_interface(t);
    bus.remove_interface(first);
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_TRUE(second.commands().empty());
    EXPECT_EQ(bus.open_handles(), 0u);
}

TEST_F(OpenDeviceTest, IdentifyHandshakeTellsTheFormsApart)
{
    bus.add_interface(module);

    DeviceHandle h = open_device(bus, loader);
    EXPECT_FALSE(h.valid()) << "the application answers 03 3B, not the loader's word";
    EXPECT_FALSE(loader.found);
    ASSERT_EQ(module.commands().size(), 1u);
    EXPECT_EQ(module.commands()[0].code, cmd_identify);
    EXPECT_EQ(bus.open_handles(), 0u);

    h = open_device(bus, app);
    EXPECT_TRUE(h.valid());
    close_device(h);

    module.set_form(SimModule::Form::loader);
    h = open_device(bus, loader);
    EXPECT_TRUE(h.valid());
    EXPECT_TRUE(loader.found);
    close_device(h);
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_EQ(bus.open_handles(), 0u);
}

TEST_F(OpenDeviceTest, WrongAnswerOrFailedHandshakeSkipsToTheNextCandidate)
{
    SimModule impostor, silent, good;
    impostor.set_identity_override(0x3B02);
    bus.add_interface(impostor);
    bus.add_interface(silent);
    const std::size_t g = bus.add_interface(good);

    bus.fail_report(3);  // impostor: frame, reply; silent: its frame fails
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());
    EXPECT_TRUE(silent.commands().empty());
    EXPECT_EQ(bus.opens_of(g), 1u);
    EXPECT_EQ(bus.open_handles(), 1u);
    close_device(h);
    EXPECT_EQ(bus.open_handles(), 0u);
}

TEST_F(OpenDeviceTest, FailedSearchClearsFoundAgain)
{
    const std::size_t m = bus.add_interface(module);
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(app.found);
    close_device(h);

    bus.remove_interface(m);
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_FALSE(app.found);

    bus.restore_interface(m);
    module.set_identity_override(0x0000);
    h = open_device(bus, app);
    EXPECT_FALSE(app.found);
    module.clear_identity_override();
    h = open_device(bus, app);
    EXPECT_TRUE(app.found);
    close_device(h);
    EXPECT_EQ(bus.open_handles(), 0u);
    EXPECT_EQ(bus.opens(), bus.closes());
}

TEST_F(OpenDeviceTest, ModuleVanishingDuringTheHandshakeIsSkipped)
{
    const std::size_t m = bus.add_interface(module);
    bus.vanish_after(m, 1);  // the identify frame gets through, the reply does not
    DeviceHandle h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_FALSE(app.found);
    EXPECT_EQ(bus.open_handles(), 0u);
}

// --- one program at a time ---------------------------------------------------------------

TEST_F(OpenDeviceTest, AnInterfaceHeldElsewhereIsBusyAndGetsNoReport)
{
    // Only an interface of the module's shape is claimed: a held keyboard or a held second
    // interface of another feature length says nothing of the module.
    ForeignDevice keyboard(0x046D, 0xC31C);
    SimModule other_length;
    const std::size_t k = bus.add_interface(keyboard, report_length, false);
    const std::size_t s = bus.add_interface(other_length, 33);
    const std::size_t m = bus.add_interface(module);
    bus.set_held_elsewhere(k, true);
    bus.set_held_elsewhere(s, true);
    DeviceHandle h = open_device(bus, app);
    ASSERT_TRUE(h.valid());
    EXPECT_FALSE(app.busy);
    close_device(h);

    bus.set_held_elsewhere(m, true);
    const std::size_t reports_before = bus.reports_to(m);
    h = open_device(bus, app);
    EXPECT_FALSE(h.valid());
    EXPECT_FALSE(app.found);
    EXPECT_TRUE(app.busy);
    EXPECT_EQ(bus.reports_to(m), reports_before) << "not even cmd_identify";
    EXPECT_EQ(bus.open_handles(), 0u);

    // A free module further on still serves the search; the held one is still named.
    SimModule second;
    const std::size_t m2 = bus.add_interface(second);
    h = open_device(bus, app);
    EXPECT_TRUE(h.valid() && app.found && app.busy);
    EXPECT_EQ(bus.opens_of(m2), 1u);
    close_device(h);

    // Let go: the next search takes it, and no longer speaks of a busy module.
    bus.set_held_elsewhere(m, false);
    h = open_device(bus, app);
    EXPECT_TRUE(h.valid() && app.found);
    EXPECT_FALSE(app.busy);
    EXPECT_EQ(bus.opens_of(m2), 1u);
    close_device(h);
    EXPECT_EQ(bus.unclaimed_reports(), 0u);
}

TEST_F(OpenDeviceTest, TheClaimLastsFromTheSearchToTheClose)
{
    bus.add_interface(module);
    DeviceIdentity other = make_app_identity();
    DeviceHandle first = open_device(bus, app);
    ASSERT_TRUE(first.valid());
    std::uint8_t block[params_size];
    ASSERT_TRUE(send_command(first, cmd_read_flash, flash_config_address, params_size));

    // A second search between a command and its reply must not get a report in.
    const auto commands_before = module.commands().size();
    DeviceHandle second = open_device(bus, other);
    EXPECT_FALSE(second.valid());
    EXPECT_TRUE(other.busy);
    EXPECT_EQ(module.commands().size(), commands_before);
    ASSERT_TRUE(receive_data(first, block, sizeof block));
    EXPECT_EQ(std::memcmp(block, module.flash_at(flash_config_address), sizeof block), 0);

    close_device(first);
    second = open_device(bus, other);
    EXPECT_TRUE(second.valid());
    EXPECT_FALSE(other.busy);
    close_device(second);
    EXPECT_EQ(bus.unclaimed_reports(), 0u);
}
