// The HID interface of lirvan-sim-usb on endpoint 0: which requests it answers, with which
// bytes, and what it stalls; and the descriptor block it gives FunctionFS.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/device_program.h"
#include "sim/sim_bus.h"
#include "sim/uhid/descriptors.h"
#include "sim/usb/hid_function.h"

namespace {

using usb_hid::Reply;


constexpr std::uint8_t class_out = 0x21, class_in = 0xA1, standard_interface_in = 0x81;
constexpr std::uint16_t feature_id0 = 0x0300;

std::vector<std::uint8_t> identify_frame()
{
    const auto report = CommandFrame{cmd_identify, 0, 0, 0}.to_report();
    return {report.begin() + 1, report.end()};  // the 64 data bytes, as they come over USB
}

struct SetupCase {
    const char* name;
    usb_hid::Setup setup;
    Reply::Kind expected;
    std::size_t data_length;  // of a `send`
};

class HidFunctionRequests : public ::testing::TestWithParam<SetupCase> {};

TEST_P(HidFunctionRequests, AnswersOrStalls)
{
    SimModule sim;
    usb_hid::HidFunction function(sim, sim_descriptors::module, report_length);
    const Reply reply = function.on_setup(GetParam().setup);
    EXPECT_EQ(reply.kind, GetParam().expected);
    if (reply.kind == Reply::send) {
        EXPECT_EQ(reply.data.size(), GetParam().data_length);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HidFunctionRequests,
    ::testing::Values(
        SetupCase{"feature_get", {class_in, usb_hid::hid_get_report, feature_id0, 0, 64}, Reply::send, 64},
        // usbhid asks for fewer bytes only if the caller does: never more than asked
        SetupCase{"feature_get_shorter_request", {class_in, usb_hid::hid_get_report, feature_id0, 0, 10}, Reply::send, 10},
        SetupCase{"feature_get_report_id_1", {class_in, usb_hid::hid_get_report, 0x0301, 0, 64}, Reply::stall, 0},
        SetupCase{"input_report_get", {class_in, usb_hid::hid_get_report, 0x0100, 0, 64}, Reply::stall, 0},
        SetupCase{"feature_set", {class_out, usb_hid::hid_set_report, feature_id0, 0, 64}, Reply::receive, 0},
        // 65 bytes would be the report-id byte sent along: not what an unnumbered report carries
        SetupCase{"feature_set_65", {class_out, usb_hid::hid_set_report, feature_id0, 0, 65}, Reply::stall, 0},
        SetupCase{"output_report_set", {class_out, usb_hid::hid_set_report, 0x0200, 0, 64}, Reply::stall, 0},
        SetupCase{"set_idle", {class_out, usb_hid::hid_set_idle, 0, 0, 0}, Reply::acknowledge, 0},
        SetupCase{"report_descriptor", {standard_interface_in, usb_hid::std_get_descriptor, 0x2200, 0, 255},
                  Reply::send, sim_descriptors::module.size()},
        SetupCase{"report_descriptor_truncated", {standard_interface_in, usb_hid::std_get_descriptor, 0x2200, 0, 9},
                  Reply::send, 9},
        SetupCase{"device_descriptor_to_interface", {0x80, usb_hid::std_get_descriptor, 0x0100, 0, 18}, Reply::stall, 0},
        SetupCase{"vendor_request", {0xC1, 0x01, feature_id0, 0, 64}, Reply::stall, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HidFunction, AFeatureExchangeReachesTheModuleAndItsReplyComesBack)
{
    SimModule sim;
    usb_hid::HidFunction function(sim, sim_descriptors::module, report_length);
    const usb_hid::Setup set{class_out, usb_hid::hid_set_report, feature_id0, 0, 64};
    ASSERT_EQ(function.on_setup(set).kind, Reply::receive);
    const auto frame = identify_frame();
    EXPECT_TRUE(function.on_data(set, frame.data(), frame.size()));
    ASSERT_EQ(sim.commands().size(), 1u);
    EXPECT_EQ(sim.commands()[0].code, cmd_identify);

    const Reply reply = function.on_setup({class_in, usb_hid::hid_get_report, feature_id0, 0, 64});
    ASSERT_EQ(reply.kind, Reply::send);
    ASSERT_EQ(reply.data.size(), 64u);
    EXPECT_EQ(reply.data[0], 0x03);  // 0x3B03, little-endian, from the first byte: no id byte
    EXPECT_EQ(reply.data[1], 0x3B);
    EXPECT_EQ(function.sets(), 1u);
    EXPECT_EQ(function.gets(), 1u);
}

TEST(HidFunction, DataOfAnotherLengthNeverReachesTheModule)
{
    SimModule sim;
    usb_hid::HidFunction function(sim, sim_descriptors::module, report_length);
    const usb_hid::Setup set{class_out, usb_hid::hid_set_report, feature_id0, 0, 64};
    const auto frame = identify_frame();
    EXPECT_FALSE(function.on_data(set, frame.data(), 63));
    EXPECT_TRUE(sim.commands().empty());
}

TEST(HidFunction, ARefusedReadIsCountedAndStalledWithoutTakingTheReply)
{
    SimModule sim;
    usb_hid::HidFunction function(sim, sim_descriptors::module, report_length);
    const usb_hid::Setup set{class_out, usb_hid::hid_set_report, feature_id0, 0, 64};
    const auto frame = identify_frame();
    ASSERT_TRUE(function.on_data(set, frame.data(), frame.size()));
    const usb_hid::Setup get{class_in, usb_hid::hid_get_report, feature_id0, 0, 64};
    EXPECT_EQ(function.on_setup(get, true).kind, Reply::stall);
    EXPECT_EQ(function.on_setup({class_out, usb_hid::hid_set_report, feature_id0, 0, 64}, true).kind,
              Reply::stall);
    EXPECT_EQ(function.gets(), 1u);
    // The module between two forms took nothing: the reply is still there for the next read.
    const Reply reply = function.on_setup(get);
    ASSERT_EQ(reply.kind, Reply::send);
    EXPECT_EQ(reply.data[0], 0x03);
}

TEST(HidFunction, AShorterFeatureReportMovesItsOwnLength)
{
    ForeignDevice second(module_vendor_id, module_product_id);
    usb_hid::HidFunction function(second, sim_descriptors::feature32, 33);
    EXPECT_EQ(function.on_setup({class_out, usb_hid::hid_set_report, feature_id0, 0, 32}).kind, Reply::receive);
    EXPECT_EQ(function.on_setup({class_out, usb_hid::hid_set_report, feature_id0, 0, 64}).kind, Reply::stall);
    const Reply reply = function.on_setup({class_in, usb_hid::hid_get_report, feature_id0, 0, 32});
    ASSERT_EQ(reply.kind, Reply::send);
    EXPECT_EQ(reply.data.size(), 32u);
}

// Walks the descriptor block as FunctionFS does: header, then for each speed three
// descriptors whose lengths must add up to the block's length.
TEST(HidFunction, DescriptorBlockIsWhatFunctionFsParses)
{
    for (std::size_t report_descriptor_length : {sim_descriptors::module.size(), std::size_t{300}}) {
        const auto block = usb_hid::functionfs_descriptors(report_descriptor_length);
        const auto le32 = [&](std::size_t at) {
            return std::uint32_t{block[at]} | std::uint32_t{block[at + 1]} << 8 |
                   std::uint32_t{block[at + 2]} << 16 | std::uint32_t{block[at + 3]} << 24;
        };
        ASSERT_EQ(le32(4), block.size());
        ASSERT_EQ(le32(12), 3u);
        ASSERT_EQ(le32(16), 3u);
        std::size_t at = 20;
        std::vector<std::uint8_t> types;
        while (at < block.size()) {
            ASSERT_GE(block[at], 2u);
            types.push_back(block[at + 1]);
            if (block[at + 1] == usb_hid::descriptor_type_hid) {
                EXPECT_EQ(block[at + 6], usb_hid::descriptor_type_report);
                EXPECT_EQ(block[at + 7] | block[at + 8] << 8, report_descriptor_length);
            }
            if (block[at + 1] == 0x05) {  // endpoint: interrupt IN 0x81 of 64 bytes
                EXPECT_EQ(block[at + 2], 0x81);
                EXPECT_EQ(block[at + 3], 0x03);
                EXPECT_EQ(block[at + 4] | block[at + 5] << 8, 64);
            }
            at += block[at];
        }
        EXPECT_EQ(at, block.size());
        EXPECT_EQ(types, (std::vector<std::uint8_t>{0x04, 0x21, 0x05, 0x04, 0x21, 0x05}));
    }
}

// The options both device programs share: a bad one ends the program with status 2 before
// it touches the kernel.
class DeviceProgramOptions : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(DeviceProgramOptions, BadOptionsEndWithStatus2)
{
    std::vector<std::string> words = GetParam();
    words.insert(words.begin(), "lirvan-sim-uhid");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    EXPECT_EXIT(device_program::parse("lirvan-sim-uhid", "usage\n", false, static_cast<int>(argv.size()), argv.data()),
                ::testing::ExitedWithCode(2), "lirvan-sim-uhid: ");
}

INSTANTIATE_TEST_SUITE_P(
    Options, DeviceProgramOptions,
    ::testing::Values(std::vector<std::string>{"--identity", "10000"},
                      std::vector<std::string>{"--identity", "3b0g"},
                      std::vector<std::string>{"--vanish-at-get", "-1"},
                      std::vector<std::string>{"--short-get-at"},
                      std::vector<std::string>{"--record"},
                      std::vector<std::string>{"--udc", "dummy_udc.0"},  // lirvan-sim-usb's only
                      std::vector<std::string>{"--decoy"}));

TEST(DeviceProgramOptions, GoodOptionsAreTaken)
{
    std::vector<std::string> words = {"lirvan-sim-usb", "--decoys", "--identity", "3B02", "--vanish-at-get", "10",
                                      "--record", "/tmp/r", "--udc", "dummy_udc.1"};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    const auto o = device_program::parse("lirvan-sim-usb", "usage\n", true, static_cast<int>(argv.size()), argv.data());
    EXPECT_TRUE(o.decoys);
    EXPECT_EQ(o.identity, 0x3B02);
    EXPECT_EQ(o.vanish_at_get, 10u);
    EXPECT_EQ(o.short_get_at, 0u);
    EXPECT_EQ(o.record_path, "/tmp/r");
    EXPECT_EQ(o.udc, "dummy_udc.1");
}

}  // namespace
