// Every device action of the configuration, image and output pages, with each of its reports
// failing in turn: the module is always closed again, the cursor comes back, a failure is
// never passed off as success, and no file is lost.
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "rig.h"

namespace {

enum class Kind { read, write };

struct Action {
    const char* name;
    Kind kind;
    std::function<void(Rig&)> prepare;
    std::function<void(Rig&)> run;
    // The image a read-back replaces (nullptr for the other actions).
    std::vector<std::uint8_t> TMainForm::*image = nullptr;
    // A fault in the last report is in a report after the transfer proper (the start of a
    // CNC after its RAM was read): the read itself is complete then, the start reported.
    bool last_report_after_transfer = false;
    // A flash write reads the written range back: its last reports are a read (the command,
    // then size / 64 + 1 replies), whose failure leaves the write unconfirmed.
    std::size_t read_back_bytes = 0;
};

class FaultMatrix : public ::testing::Test {
protected:
    ScratchFolder scratch{"lirvan-fault-matrix-"};
    std::filesystem::path dir = scratch.path();
    std::string target = (dir / "target.bin").string();
    const Bytes old_file = pattern(777, 1);


    std::vector<Action> actions()
    {
        const auto read_back = [this](const char* name, void (TMainForm::*click)(),
                                      std::vector<std::uint8_t> TMainForm::*image,
                                      std::uint32_t proc_en, bool start_after) {
            return Action{
                name, Kind::read,
                [this, image, proc_en](Rig& r) {
                    write_file(target, old_file);
                    r.view.save_answers.push_back(target);
                    r.form.proc_en = proc_en;
                    r.form.*image = pattern((r.form.*image).size(), 2);
                },
                [click](Rig& r) { (r.form.*click)(); }, image, start_after};
        };
        const auto write = [](const char* name, void (TMainForm::*click)(), std::size_t read_back = 0) {
            return Action{name, Kind::write, [](Rig&) {}, [click](Rig& r) { (r.form.*click)(); },
                          nullptr, false, read_back};
        };
        return {
            Action{"configuration read", Kind::read,
                   [](Rig& r) { r.form.params_array = {1, 2, 3, 0, 1, 2, 0, 3, 12, 0, 0, 0}; },
                   [](Rig& r) { r.form.Button1Click(); }},
            write("configuration write", &TMainForm::Button2Click, flash_page_size),
            read_back("ROM read-back", &TMainForm::BitBtn4Click, &TMainForm::MAT_array, 0, false),
            read_back("AMT read-back", &TMainForm::BitBtn5Click, &TMainForm::AMT_array, 0, false),
            read_back("KVP read-back", &TMainForm::BitBtn6Click, &TMainForm::KVP_array, 0, false),
            read_back("RAM read-back, CNC stopped", &TMainForm::BitBtn14Click, &TMainForm::RAM_array,
                      0, false),
            read_back("RAM read-back, CNC running", &TMainForm::BitBtn14Click, &TMainForm::RAM_array,
                      1, true),
            write("ROM write", &TMainForm::Button5Click, rom_size),
            write("AMT write", &TMainForm::Button7Click, amt_size),
            write("KVP write", &TMainForm::Button9Click, kvp_size),
            write("RAM write, main bank", &TMainForm::Button4Click),
            write("RAM write, reserve bank", &TMainForm::Button14Click),
            write("outputs 170462/170464", &TMainForm::Button10Click),
            write("output 170520", &TMainForm::Button11Click),
            write("DAC values", &TMainForm::Button12Click),
            write("CNC stop", &TMainForm::Button8Click),
            Action{"CNC start", Kind::write, [](Rig& r) { r.form.Tag = 1; },
                   [](Rig& r) { r.form.Button8Click(); }},
            write("module restart", &TMainForm::Button13Click),
        };
    }
};

TEST_F(FaultMatrix, EveryFailedReportEndsClosedAndReported)
{
    for (const Action& a : actions()) {
        SCOPED_TRACE(a.name);
        // The action without faults: how many reports it takes, and that it stays silent.
        std::size_t total = 0;
        {
            Rig r{Rig::ApplicationFound{}};
            a.prepare(r);
            a.run(r);
            total = r.bus.reports();
            ASSERT_GT(total, 2u) << "the action reached the module";
            EXPECT_TRUE(r.view.messages.empty());
            EXPECT_EQ(r.bus.open_handles(), 0u);
        }
        for (std::size_t n = 1; n <= total; ++n) {
            SCOPED_TRACE("report " + std::to_string(n) + " of " + std::to_string(total));
            Rig r{Rig::ApplicationFound{}};
            a.prepare(r);
            const auto params_before = r.form.params_array;
            const Bytes image_before = a.image ? r.form.*a.image : Bytes{};
            r.bus.fail_report(n);
            a.run(r);

            EXPECT_EQ(r.bus.open_handles(), 0u);
            EXPECT_FALSE(r.form.HidHandle.valid());
            EXPECT_EQ(r.view.cursor, CursorShape::normal);
            ASSERT_FALSE(::testing::Test::HasFailure());

            if (a.last_report_after_transfer && n == total) {
                // The image arrived whole: it is kept and saved, and the refused start is told.
                EXPECT_TRUE(r.message_shown(write_failed_text));
                EXPECT_EQ(r.view.messages.size(), 1u);
                EXPECT_EQ(read_file(target).size(), (r.form.*a.image).size());
                continue;
            }
            const std::size_t read_back_reports = a.read_back_bytes ? a.read_back_bytes / 64 + 2 : 0;
            const bool in_read = a.kind == Kind::read || n > total - read_back_reports;
            EXPECT_TRUE(r.message_shown(in_read ? read_failed_text : write_failed_text));
            EXPECT_EQ(r.view.messages.size(), 1u);
            if (a.image) {
                EXPECT_EQ(read_file(target), old_file) << "the existing file is kept";
                EXPECT_TRUE(r.form.*a.image == image_before) << "the image is kept";
            }
            if (a.kind == Kind::read && !a.image) {
                EXPECT_EQ(r.form.params_array, params_before) << "the block is kept";
            }
            if (::testing::Test::HasFailure()) return;  // one broken report is enough to show
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            EXPECT_EQ(entry.path().filename(), "target.bin") << "no temporary file is left behind";
    }
}

// Passes every report to the module until it is told to throw at a read, as a driver or a
// library call gone wrong might.
class ThrowingEndpoint : public FeatureEndpoint {
public:
    explicit ThrowingEndpoint(SimModule& module) : module_(module) {}
    std::uint16_t vendor_id() const override { return module_.vendor_id(); }
    std::uint16_t product_id() const override { return module_.product_id(); }
    bool on_set_feature(const std::uint8_t* data64) override
    {
        ++reports;
        return module_.on_set_feature(data64);
    }
    bool on_get_feature(std::uint8_t* data64) override
    {
        ++reports;
        if (throw_at_get != 0 && --throw_at_get == 0) throw std::runtime_error("сбой драйвера HID");
        return module_.on_get_feature(data64);
    }
    int throw_at_get = 0;  // the n-th read from now throws; 0: none
    int reports = 0;

private:
    SimModule& module_;
};

TEST(EscapedException, IsShownTheModuleLetGoAndTheToolGoesOn)
{
    Rig r;
    ThrowingEndpoint endpoint(r.module);
    r.bus.remove_interface(r.module_index);
    r.bus.add_interface(endpoint);

    endpoint.throw_at_get = 2;  // the status reply of a tick (the identify reply is the first)
    // The box runs a message loop in which the timers tick on: while it is open those ticks
    // run nothing, so a tick that fails every time cannot stack box upon box.
    int reports_while_shown = -1;
    r.view.while_error_shown = [&] {
        const int before = endpoint.reports;
        endpoint.throw_at_get = 2;
        r.form.click(Control::Timer1);
        reports_while_shown = endpoint.reports - before;
    };
    r.form.click(Control::Timer1);
    r.view.while_error_shown = nullptr;
    endpoint.throw_at_get = 0;
    EXPECT_EQ(reports_while_shown, 0);
    EXPECT_EQ(r.view.errors, (std::vector<std::string>{"сбой драйвера HID"}));
    r.expect_closed();
    r.form.click(Control::Timer1);
    EXPECT_EQ(r.panel(), (Panel{"подключен", "4.36", "н/д"})) << "the next tick runs as ever";

    // A read-back under the hourglass: the arrow is back and nothing was saved.
    const ScratchFolder scratch{"lirvan-escaped-"};
    const auto target = scratch.path() / "escaped.bin";
    r.view.save_answers.push_back(target.string());
    endpoint.throw_at_get = 3;  // identify, then the first report of the ROM
    r.form.click(Control::BitBtn4);
    ASSERT_EQ(r.view.errors.size(), 2u);
    EXPECT_EQ(r.view.cursor_at_boxes.back(), CursorShape::normal);
    r.expect_closed();
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(r.view.messages.empty());
}

}  // namespace
