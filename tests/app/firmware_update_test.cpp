// The firmware update over the simulated bus: the click, the hand-over to the loader, the
// stream with its progress, and the ways it can fail.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/formats.h"
#include "app/rig.h"

namespace {

using V = std::vector<Sent>;

std::vector<std::uint8_t> pattern(std::size_t length)
{
    std::vector<std::uint8_t> image(length);
    for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return image;
}

Sent update_to_loader(std::uint32_t length) { return {cmd_update, length, length / 65536, true}; }

// The loader-mode tick's own exchanges, then the streaming routine's search and announcement.
// The loader-mode tick's own exchanges: both searches meet the loader, then its two queries.
const V loader_tick{identify(true), identify(true), status(true), loader_cmd(cmd_get_loader_info)};

// The loader-mode tick's own exchanges, then the streaming routine's search and announcement.
V streaming_tick(std::uint32_t length) { return loader_tick + V{identify(true), update_to_loader(length)}; }

// The loader on the bus and an update requested: the next tick streams.
void request_with_loader_present(Rig& rig)
{
    rig.module.set_form(SimModule::Form::loader);
    rig.form.up_flag = true;
    rig.view.progress_history.clear();
}

TEST(FirmwareUpdate, ClickHandsOverAndTheNextTickStreamsTheWholeImage)
{
    Rig rig(pattern(248488), 0x00043600);
    rig.module.set_firmware_version(0x00043500);
    rig.module.set_firmware_version_after_update(0x00043600);
    rig.tick_on(page_config);
    ASSERT_TRUE(rig.form.app_identity.found);

    rig.module.clear_commands();
    rig.form.Button3Click();
    EXPECT_EQ(rig.take_commands(), (V{identify(), app_cmd(cmd_update)}));
    EXPECT_TRUE(rig.form.up_flag);
    rig.expect_closed();
    EXPECT_TRUE(rig.view.progress_history.size() <= 1);  // start-up's 0 at most

    rig.view.progress_history.clear();
    rig.view.cursor_history.clear();
    const int repaints = rig.view.repaints;
    const std::size_t sets_before = rig.bus.set_reports();
    EXPECT_EQ(rig.tick_on(page_config), streaming_tick(248488));
    // The announcement carries the length and its 64 KiB part.
    EXPECT_EQ(rig.module.updates_completed(), 1u);
    EXPECT_EQ(rig.module.last_update_image(), rig.image_bytes);
    // 485 full pieces of 8 reports and one of 168 bytes in 3 reports; no report for anything else.
    EXPECT_EQ(rig.bus.set_reports() - sets_before, 4u + 2u + 485u * 8u + 3u);
    EXPECT_FALSE(rig.form.up_flag);
    EXPECT_GT(rig.view.repaints, repaints);

    const auto& progress = rig.view.progress_history;
    ASSERT_EQ(progress.size(), 1u + 486u + 1u);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress[1], 0);     // 512 bytes: 0.206 %
    EXPECT_EQ(progress[100], 21);  // 51200 bytes: 20.6 %
    EXPECT_EQ(progress[243], 50);  // 124416 bytes: 50.06 %
    EXPECT_EQ(progress[486], 100);
    EXPECT_EQ(progress.back(), 0);
    EXPECT_TRUE(std::is_sorted(progress.begin() + 1, progress.end() - 1));

    ASSERT_FALSE(rig.view.cursor_history.empty());
    EXPECT_NE(std::find(rig.view.cursor_history.begin(), rig.view.cursor_history.end(),
                        CursorShape::hourglass),
              rig.view.cursor_history.end());
    rig.expect_closed();
    // The tick showed the loader; the firmware label is the loader's report of this tick.
    EXPECT_EQ(rig.panel(), (Panel{"загрузчик", "4.35", "1.2.3."}));

    // The module is back with its application and the new firmware; a new click asks the
    // application again.
    rig.tick_on(page_config);
    EXPECT_EQ(rig.panel(), (Panel{"подключен", "4.36", "н/д"}));
    EXPECT_FALSE(rig.form.loader_identity.found);
    rig.module.clear_commands();
    rig.form.Button3Click();
    EXPECT_EQ(rig.take_commands(), (V{identify(), app_cmd(cmd_update)}));
}

TEST(FirmwareUpdate, ImageOfWholePiecesEndsWithAnEmptyPieceAndRoundsHalvesToEven)
{
    // 102400 bytes: 200 pieces; after n pieces the bar is at n / 2 %, a half at every odd n.
    Rig rig(pattern(102400));
    rig.module.set_form(SimModule::Form::loader);
    rig.tick_on(page_config);
    rig.form.Button3Click();  // the loader is on the bus: nothing is sent at the click
    EXPECT_TRUE(rig.module.commands().empty());

    rig.view.progress_history.clear();
    const std::size_t sets_before = rig.bus.set_reports();
    EXPECT_EQ(rig.tick_on(page_config), streaming_tick(102400));
    EXPECT_EQ(rig.bus.set_reports() - sets_before, 4u + 2u + 1600u);
    EXPECT_EQ(rig.module.last_update_image(), rig.image_bytes);

    std::vector<int> expected{0};
    for (int n = 1; n <= 200; ++n) expected.push_back(n / 2 + ((n % 4) == 3 ? 1 : 0));
    expected.push_back(100);  // the empty last piece sends nothing but sets the bar again
    expected.push_back(0);
    EXPECT_EQ(rig.view.progress_history, expected);
    EXPECT_EQ(expected[1], 0);  // 0.5 %
    EXPECT_EQ(expected[3], 2);  // 1.5 %
    EXPECT_EQ(expected[5], 2);  // 2.5 %
}

TEST(FirmwareUpdate, ClickWithoutModuleWaitsForTheLoader)
{
    Rig rig(pattern(700));
    rig.bus.remove_interface(rig.module_index);
    rig.form.Button3Click();
    EXPECT_TRUE(rig.form.up_flag);
    rig.tick_on(page_config);  // nobody there: the request survives
    EXPECT_TRUE(rig.form.up_flag);
    EXPECT_TRUE(rig.module.commands().empty());

    rig.module.set_form(SimModule::Form::application);
    rig.bus.restore_interface(rig.module_index);
    rig.tick_on(page_config);  // the application: still waiting
    EXPECT_TRUE(rig.form.up_flag);
    EXPECT_EQ(rig.module.updates_completed(), 0u);

    rig.module.set_form(SimModule::Form::loader);
    EXPECT_EQ(rig.tick_on(page_config), streaming_tick(700));
    EXPECT_FALSE(rig.form.up_flag);
    EXPECT_EQ(rig.module.last_update_image(), rig.image_bytes);
}

TEST(FirmwareUpdate, FailingDataSendStopsTheStreamAndCleansUp)
{
    Rig rig(pattern(4096));
    request_with_loader_present(rig);
    // The tick's 8 reports, the streaming search's 2, the announcement 1, then 8 reports of
    // the first piece (12.5 %, shown as 12); the 4th report of the second piece fails.
    rig.bus.fail_report(8 + 2 + 1 + 8 + 4);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.module.updates_completed(), 0u);
    EXPECT_EQ(rig.view.progress_history, (std::vector<int>{0, 12, 0}));
    rig.expect_closed();
    EXPECT_FALSE(rig.form.up_flag);
}

TEST(FirmwareUpdate, RefusedAnnouncementSendsNoData)
{
    Rig rig(pattern(4096));
    request_with_loader_present(rig);
    const std::size_t sets_before = rig.bus.set_reports();
    rig.bus.fail_report(8 + 2 + 1);
    rig.form.Timer1Timer();
    EXPECT_EQ(rig.bus.set_reports() - sets_before, 4u + 1u);  // searches and queries only
    EXPECT_EQ(rig.view.progress_history, (std::vector<int>{0, 0}));
    rig.expect_closed();
}

TEST(FirmwareUpdate, LoaderGoneBeforeTheStreamSendsNothing)
{
    Rig rig(pattern(4096));
    request_with_loader_present(rig);
    rig.bus.vanish_after(rig.module_index, 8);  // right after the tick's own exchanges
    rig.form.Timer1Timer();
    const auto log = rig.take_commands();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const Sent& s) { return s.code == cmd_update; }), 0);
    EXPECT_TRUE(rig.view.progress_history.empty());
    rig.expect_closed();
    EXPECT_FALSE(rig.form.up_flag);  // the request is spent; no retry by itself
    EXPECT_TRUE(rig.group_is(device_action_buttons, true));
}

TEST(FirmwareUpdate, EmptyImageIsNeverStreamed)
{
    Rig rig(std::vector<std::uint8_t>{});
    request_with_loader_present(rig);
    EXPECT_EQ(rig.tick_on(page_config), loader_tick);
    EXPECT_FALSE(rig.form.up_flag);
    rig.expect_closed();
}

}  // namespace
