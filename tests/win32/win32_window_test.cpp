// The Win32 window on the demo's simulated module, under wine and a virtual X display: every
// control of the form table is there with its class, caption, place and state; the window has
// the fixed client size; the network page has no tab and no keyboard step reaches it; user
// actions reach the logic and selections from code do not. The executables carry their
// resources.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <map>
#include <string>

#include "app/form.h"
#include "app/carried_update.h"
#include "app/win32/win32_window.h"
#include "demo/demo_core.h"
#include "sim/paced_hid.h"

namespace {

std::wstring class_of(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::string caption_of(HWND hwnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return narrow(text);
}

// The system calls its enumeration callbacks with its own calling convention (CALLBACK, which
// a 32-bit build does not share with a lambda's), so they are named functions.
struct ControlWalk {
    Win32Window* window;
    int named = 0, wrong = 0;
};
BOOL CALLBACK count_control_window(HWND child, LPARAM data)
{
    auto* w = reinterpret_cast<ControlWalk*>(data);
    const auto id = static_cast<UINT_PTR>(GetDlgCtrlID(child));
    if (id >= Win32Window::control_id_base && id < Win32Window::control_id_base + control_count) {
        ++w->named;
        if (w->window->control(static_cast<Control>(id - Win32Window::control_id_base)) != child) ++w->wrong;
    }
    return TRUE;
}

// Copies the text of the child that names a failure into the 256 characters at out.
BOOL CALLBACK copy_failure_text(HWND child, LPARAM out)
{
    wchar_t t[256] = {};
    GetWindowTextW(child, t, 256);
    if (std::wcsstr(t, L"сбой") != nullptr) lstrcpynW(reinterpret_cast<wchar_t*>(out), t, 256);
    return TRUE;
}

// The Windows class each kind of entry is made of.
const wchar_t* class_for(FormKind kind)
{
    switch (kind) {
    case FormKind::button:
    case FormKind::check_box: return L"Button";
    case FormKind::pick_list: return L"ComboBox";
    case FormKind::edit: return L"Edit";
    case FormKind::preview: return L"ListBox";
    case FormKind::progress: return L"msctls_progress32";
    case FormKind::page_control: return L"SysTabControl32";
    default: return L"Static";
    }
}

// Where a control stands in its holder, in form pixels: a group's contents stand in the
// group's page, offset by the group's place.
FormRect table_place(const FormControl& c, const FormRect& rect)
{
    FormRect placed = rect;
    FormHolder parent = c.parent;
    for (;;) {
        const FormControl* group = nullptr;
        for (const FormControl& h : form_controls())
            if (h.holder == parent && h.kind == FormKind::group) group = &h;
        if (group == nullptr) return placed;
        placed.x += group->rect.x;
        placed.y += group->rect.y;
        parent = group->parent;
    }
}

FormRect place_of(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The status timer's id: the window's timers carry their control's id.
constexpr UINT_PTR timer1 = Win32Window::control_id_base + static_cast<UINT_PTR>(Control::Timer1);

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class WindowOnDemo : public ::testing::Test {
protected:
    // A carried image, as the demo has one: "Обновить" is usable.
    std::array<std::uint8_t, 600> image{};
    DemoCore demo{0x00043600};
    Win32Window window{demo.hid(), CarriedImage{image.data(), image.size(), 0x00043600}};
};

TEST_F(WindowOnDemo, every_entry_of_the_form_table_is_built_with_its_class_text_place_and_items)
{
    // Before start-up: the state the table gives.
    int checked = 0;
    for (const FormControl& c : form_controls()) {
        if (!c.name || c.kind == FormKind::timer || c.kind == FormKind::page) continue;
        SCOPED_TRACE(std::string(control_name(*c.name)));
        HWND hwnd = window.control(*c.name);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(class_of(hwnd), class_for(c.kind));
        EXPECT_EQ(GetDlgCtrlID(hwnd), static_cast<int>(Win32Window::control_id_base) + static_cast<int>(*c.name));
        const bool rows = c.kind == FormKind::register_row || c.kind == FormKind::counter_row ||
                          c.kind == FormKind::dac_row;
        const FormRect rect = rows ? form_row_parts(c).first : c.rect;
        if (c.kind == FormKind::pick_list) {
            EXPECT_EQ(place_of(hwnd).x, table_place(c, rect).x);
            EXPECT_EQ(place_of(hwnd).y, table_place(c, rect).y);
            EXPECT_EQ(SendMessageW(hwnd, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.items.size()));
            EXPECT_EQ(SendMessageW(hwnd, CB_GETCURSEL, 0, 0), c.selected);
        } else if (c.kind != FormKind::page_control) {
            EXPECT_EQ(place_of(hwnd), table_place(c, rect));
        }
        if (rows) {
            EXPECT_EQ(caption_of(hwnd), form_row_text(c, true));
            if (c.partner) {
                HWND second = window.control(*c.partner);
                ASSERT_NE(second, nullptr);
                EXPECT_EQ(place_of(second), table_place(c, form_row_parts(c).second));
                EXPECT_EQ(caption_of(second), form_row_text(c, false));
            }
        } else if (c.kind == FormKind::label || c.kind == FormKind::value || c.kind == FormKind::button ||
                   c.kind == FormKind::edit) {
            EXPECT_EQ(caption_of(hwnd), c.text);
        }
        ++checked;
    }
    EXPECT_GT(checked, 100);

    // Every child window with a control's id is that control's window.
    ControlWalk walk{&window};
    EnumChildWindows(window.hwnd(), count_control_window, reinterpret_cast<LPARAM>(&walk));
    EXPECT_EQ(walk.wrong, 0);
    EXPECT_GT(walk.named, 100);
}

TEST_F(WindowOnDemo, a_fixed_window_of_the_forms_client_size_with_nine_tabs_and_the_network_page_hidden)
{
    window.start();
    window.show(SW_SHOWNORMAL);
    pump();
    RECT client;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, form_client_width);
    EXPECT_EQ(client.bottom, form_client_height);
    const auto style = GetWindowLongW(window.hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(caption_of(window.hwnd()), window_caption());

    // The tabs: the offered pages in table order; the network page has none.
    HWND tabs = window.control(Control::PageControl1);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 9);
    int tab = 0;
    for (const FormControl& c : form_controls()) {
        if (c.kind != FormKind::page || !c.visible) continue;
        wchar_t text[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(tab), reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(narrow(text), c.text);
        ++tab;
    }
    EXPECT_EQ(window.tab_pages(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // All nine tabs in one row: the last one ends inside the tab control.
    RECT last{}, strip{};
    SendMessageW(tabs, TCM_GETITEMRECT, 8, reinterpret_cast<LPARAM>(&last));
    GetClientRect(tabs, &strip);
    EXPECT_LE(last.right, strip.right);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETROWCOUNT, 0, 0), 1);

    // Start-up state: the first page on view, the output bits disabled, everything else enabled
    // (the poll button only with a port to poll).
    EXPECT_EQ(window.active_page(), page_config);
    EXPECT_TRUE(IsWindowVisible(window.page_window(page_config)));
    EXPECT_FALSE(IsWindowVisible(window.page_window(page_network)));
    for (const FormControl& c : form_controls()) {
        if (!c.name || c.kind == FormKind::timer || c.kind == FormKind::page) continue;
        SCOPED_TRACE(std::string(control_name(*c.name)));
        bool enabled = c.kind != FormKind::check_box;
        if (*c.name == Control::Button15) enabled = window.combo_count(Control::ComboBox8) > 0;
        EXPECT_EQ(IsWindowEnabled(window.control(*c.name)) != FALSE, enabled);
    }
}

TEST_F(WindowOnDemo, ctrl_tab_wraps_round_the_nine_shown_pages_both_ways_and_never_reaches_the_hidden_one)
{
    window.start();
    window.show(SW_SHOWNORMAL);
    pump();
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    auto press_tab = [&](bool shift) {
        keys[VK_CONTROL] = 0x80;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG msg{window.control(Control::Button1), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(window.pre_translate(msg));
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        return window.active_page();
    };
    EXPECT_EQ(press_tab(true), page_ea);  // back from the first: the last shown page
    EXPECT_FALSE(IsWindowVisible(window.page_window(page_config)));
    EXPECT_TRUE(IsWindowVisible(window.page_window(page_ea)));
    EXPECT_EQ(SendMessageW(window.control(Control::PageControl1), TCM_GETCURSEL, 0, 0), 8);
    EXPECT_EQ(press_tab(false), page_config);  // forward from the last: the first
    for (int step = 1; step <= 8; ++step) EXPECT_EQ(press_tab(false), step);
    EXPECT_EQ(press_tab(false), page_config);

    // From the hidden page, when the logic has put it forward, a step lands on a shown one.
    window.set_active_page(page_network);
    EXPECT_EQ(press_tab(false), page_config);
    window.set_active_page(page_network);
    EXPECT_EQ(press_tab(true), page_ea);
}

TEST_F(WindowOnDemo, user_actions_reach_the_logic_selections_and_pages_from_code_do_not)
{
    window.start();
    window.show(SW_SHOWNORMAL);
    HWND combo = window.control(Control::ComboBox1);
    const std::uint8_t before = window.form().params_array[0];

    // From code: no handler.
    window.combo_select(Control::ComboBox1, 4);
    pump();
    EXPECT_EQ(window.form().params_array[0], before);

    // The user's pick: the list tells its parent, which tells the window.
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(window.form().params_array[0], 4 + 2);

    // An edit's change reaches its handler: octal 17 is 15.
    SetWindowTextW(window.control(Control::Edit7), L"17");
    EXPECT_EQ(window.form().KP1, 15);

    // A click: with the module found, Button8 stops the running CNC and the next tick shows it.
    window.form().Timer1Timer();
    ASSERT_TRUE(window.form().app_identity.found);
    EXPECT_TRUE(demo.module().cpu_running());
    SendMessageW(window.control(Control::Button8), BM_CLICK, 0, 0);
    EXPECT_FALSE(demo.module().cpu_running());
    window.form().Timer1Timer();
    EXPECT_EQ(window.text(Control::Button8), start_cnc_text);

    // The tab control's own page change is the user's: the page comes forward.
    HWND tabs = window.control(Control::PageControl1);
    SendMessageW(tabs, TCM_SETCURSEL, 3, 0);
    NMHDR note{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(window.hwnd(), WM_NOTIFY, note.idFrom, reinterpret_cast<LPARAM>(&note));
    EXPECT_EQ(window.active_page(), page_kvp);
    EXPECT_TRUE(IsWindowVisible(window.page_window(page_kvp)));
}

TEST_F(WindowOnDemo, view_operations_act_on_the_controls)
{
    window.set_text(Control::ComboBox9, "115200");
    EXPECT_EQ(window.combo_index(Control::ComboBox9), 6);
    EXPECT_EQ(window.text(Control::ComboBox9), "115200");
    window.combo_set_items(Control::ComboBox8, {"COM3", "COM7"});
    EXPECT_EQ(window.combo_count(Control::ComboBox8), 2);
    EXPECT_EQ(window.combo_index(Control::ComboBox8), -1);
    window.combo_select(Control::ComboBox8, 5);  // out of range: none
    EXPECT_EQ(window.combo_index(Control::ComboBox8), -1);

    window.list_clear(Control::ListBox1);
    window.list_append(Control::ListBox1, "00 FF");
    EXPECT_EQ(SendMessageW(window.control(Control::ListBox1), LB_GETCOUNT, 0, 0), 1);

    window.set_text(Control::StaticText7, "загрузчик");
    EXPECT_EQ(window.text(Control::StaticText7), "загрузчик");
    window.set_enabled(Control::Button3, false);
    EXPECT_FALSE(IsWindowEnabled(window.control(Control::Button3)));
    SendMessageW(window.control(Control::CheckBox5), BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_TRUE(window.checked(Control::CheckBox5));
    EXPECT_FALSE(window.checked(Control::CheckBox6));
    window.set_progress(40);
    pump();
    EXPECT_EQ(SendMessageW(window.control(Control::ProgressBar1), PBM_GETPOS, 0, 0), 40);
    window.set_text(Control::MainForm, "ЛИРВАН");
    EXPECT_EQ(window.text(Control::MainForm), "ЛИРВАН");

    // The busy cursor holds over the whole window until the logic takes it back.
    window.show(SW_SHOWNORMAL);
    HWND over = window.control(Control::Button1);
    auto cursor_over = [&] {
        SetCursor(nullptr);
        SendMessageW(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    window.set_cursor(CursorShape::hourglass);
    EXPECT_EQ(cursor_over(), LoadCursorW(nullptr, IDC_WAIT));
    window.set_cursor(CursorShape::normal);
    EXPECT_EQ(cursor_over(), LoadCursorW(nullptr, IDC_ARROW));
}

// The resources of the built executables, read as data files.
struct Resource {
    std::size_t size = 0;
    const char* bytes = nullptr;
};
Resource find(HMODULE module, const wchar_t* name, const wchar_t* type)
{
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return {};
    return {SizeofResource(module, found), static_cast<const char*>(LockResource(LoadResource(module, found)))};
}

TEST(Executables, the_demo_carries_the_generated_image_the_tool_built_without_firmware_none)
{
    HMODULE demo = LoadLibraryExW(LIRVAN_DEMO_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE tool = LoadLibraryExW(LIRVAN_TOOL_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(demo, nullptr);
    ASSERT_NE(tool, nullptr);
    const Resource image = find(demo, L"Update", RT_RCDATA);
    EXPECT_EQ(image.size, 248488u);
    ASSERT_NE(image.bytes, nullptr);
    EXPECT_EQ(std::strncmp(image.bytes, "LIRVAN NC-31 PLACEHOLDER", 24), 0);
    const Resource version = find(demo, L"UpdateVersion", RT_RCDATA);
    ASSERT_NE(version.bytes, nullptr);
    EXPECT_EQ(std::string(version.bytes, version.size), "275968");  // 4.36
#ifndef LIRVAN_TOOL_CARRIES_IMAGE
    EXPECT_EQ(find(tool, L"Update", RT_RCDATA).size, 0u);
#endif
    for (HMODULE exe : {demo, tool}) {
        EXPECT_GT(find(exe, MAKEINTRESOURCEW(1), RT_ICON).size, 0u);
        const Resource manifest = find(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
        ASSERT_NE(manifest.bytes, nullptr);
        const std::string text(manifest.bytes, manifest.size);
        EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
        EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
        // The program's own processor: Windows refuses to start a program whose manifest
        // names another.
        EXPECT_NE(text.find(sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\""),
                  std::string::npos);
        const Resource version = find(exe, MAKEINTRESOURCEW(1), RT_VERSION);
        ASSERT_GE(version.size, 40u + sizeof(VS_FIXEDFILEINFO));
        // VS_VERSIONINFO: the fixed part after the key "VS_VERSION_INFO" (aligned to 4).
        const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(version.bytes + 40);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, (4u << 16) | 36u);
    }
    FreeLibrary(demo);
    FreeLibrary(tool);
}

TEST(Executables, an_executable_without_the_resource_carries_no_image)
{
    // This test program has no "Update" resource: the window gets an empty image, no version.
    const CarriedImage image = carried_update_image();
    EXPECT_EQ(image.size, 0u);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.version_word, 0u);
}

}  // namespace

namespace {

TEST_F(WindowOnDemo, a_screen_of_another_density_gets_the_same_layout_scaled)
{
    window.start();
    window.show(SW_SHOWNORMAL);
    RECT suggested{100, 100, 0, 0};
    RECT frame{0, 0, form_client_width * 3 / 2, form_client_height * 3 / 2};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window.hwnd(), GWL_STYLE)), FALSE, 0);
    suggested.right = suggested.left + frame.right - frame.left;
    suggested.bottom = suggested.top + frame.bottom - frame.top;
    EXPECT_DOUBLE_EQ(window.scale(), 1.0);  // the virtual display: 96 dpi
    SendMessageW(window.hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_DOUBLE_EQ(window.scale(), 1.5);
    RECT client;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, form_client_width * 3 / 2);
    EXPECT_EQ(client.bottom, form_client_height * 3 / 2);
    // Button3 stands at (6, 272, 148 x 26) in the panel.
    EXPECT_EQ(place_of(window.control(Control::Button3)), (FormRect{9, 408, 222, 39}));
    // The pages still lie under the tabs, in one row.
    EXPECT_EQ(SendMessageW(window.control(Control::PageControl1), TCM_GETROWCOUNT, 0, 0), 1);
    RECT tabs, page;
    GetWindowRect(window.control(Control::PageControl1), &tabs);
    GetWindowRect(window.page_window(page_config), &page);
    EXPECT_GT(page.top, tabs.top);
    EXPECT_LT(page.bottom, tabs.bottom);
}

// The density calls of a system, each answering what the case says; what was asked is noted.
struct DensityAnswers {
    UINT window = 0;          // GetDpiForWindow's answer (0: it cannot say)
    HRESULT monitor = E_FAIL;  // GetDpiForMonitor's result
    UINT monitor_dpi = 0;
    UINT system = 0;
    int window_asks = 0, monitor_asks = 0, kind = -1;
    HMONITOR asked_monitor = nullptr;
} answers;
UINT WINAPI fake_dpi_for_window(HWND)
{
    ++answers.window_asks;
    return answers.window;
}
HRESULT WINAPI fake_dpi_for_monitor(HMONITOR monitor, int kind, UINT* x, UINT* y)
{
    ++answers.monitor_asks;
    answers.asked_monitor = monitor;
    answers.kind = kind;
    *x = *y = answers.monitor_dpi;
    return answers.monitor;
}
UINT fake_system_dpi() { return answers.system; }

DensityCalls fake_density(bool window_call, bool monitor_call)
{
    DensityCalls calls;
    calls.dpi_for_window = window_call ? fake_dpi_for_window : nullptr;
    calls.dpi_for_monitor = monitor_call ? fake_dpi_for_monitor : nullptr;
    calls.system_dpi = fake_system_dpi;
    return calls;
}

TEST(ScreenDensity, the_windows_own_density_first_then_its_monitors_then_the_systems)
{
    HWND window = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    struct Case {
        bool window_call, monitor_call;
        UINT window;
        HRESULT monitor;
        UINT expected;
        int window_asks, monitor_asks;
    };
    // Monitor answers 120 when it succeeds; the system 168.
    const Case cases[] = {
        {true, true, 144, S_OK, 144, 1, 0},           // Windows 10 1607 and later
        {true, true, 0, S_OK, 120, 1, 1},             // the window's call cannot say
        {false, true, 0, S_OK, 120, 0, 1},            // Windows 8.1
        {false, true, 0, E_INVALIDARG, 168, 0, 1},    // the monitor's call fails
        {false, false, 0, S_OK, 168, 0, 0},           // Windows 7 and 8
    };
    for (const Case& c : cases) {
        answers = DensityAnswers{c.window, c.monitor, 120, 168};
        EXPECT_EQ(window_dpi(window, fake_density(c.window_call, c.monitor_call)), c.expected);
        EXPECT_EQ(answers.window_asks, c.window_asks);
        EXPECT_EQ(answers.monitor_asks, c.monitor_asks);
        if (c.monitor_asks > 0) {
            EXPECT_EQ(answers.kind, 0);  // the effective density
            EXPECT_EQ(answers.asked_monitor, MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
        }
    }
    // This system's calls: wine has both newer ones (shcore.dll from its system folder), and the
    // virtual display is a 96 dpi screen.
    EXPECT_NE(system_density_calls().dpi_for_window, nullptr);
    EXPECT_NE(system_density_calls().dpi_for_monitor, nullptr);
    EXPECT_EQ(window_dpi(window), 96u);
    // shcore.dll is loaded only once the monitor's density is asked for.
    EXPECT_EQ(GetModuleHandleW(L"shcore.dll"), nullptr);
    UINT x = 0, y = 0;
    EXPECT_EQ(system_density_calls().dpi_for_monitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), 0, &x, &y),
              S_OK);
    EXPECT_EQ(y, 96u);
    EXPECT_NE(GetModuleHandleW(L"shcore.dll"), nullptr);
    DestroyWindow(window);
}

TEST(ScreenDensity, the_window_starts_at_the_density_of_its_monitor_not_the_systems)
{
    // The system was signed in at 96 dpi; the monitor is now at 144.
    answers = DensityAnswers{144, S_OK, 144, 96};
    DemoCore demo{0x00043600};
    Win32Window window{demo.hid(), CarriedImage{}, fake_density(true, true)};
    EXPECT_DOUBLE_EQ(window.scale(), 1.5);
    RECT client, outer, work;
    GetClientRect(window.hwnd(), &client);
    EXPECT_EQ(client.right, form_client_width * 3 / 2);
    EXPECT_EQ(client.bottom, form_client_height * 3 / 2);
    EXPECT_EQ(place_of(window.control(Control::Button3)), (FormRect{9, 408, 222, 39}));
    // In the middle of the work area, the frame at its new size.
    GetWindowRect(window.hwnd(), &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 1);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (work.top + work.bottom)), 1);
}

}  // namespace

namespace {

// A HID layer whose listing fails by throwing, as a broken system call wrapper might.
class ThrowingHid : public Hid {
public:
    std::atomic<int> listings{0};
    bool list_interfaces(std::vector<HidInterfaceInfo>&) override
    {
        ++listings;
        throw std::runtime_error("сбой списка устройств");
    }
    HidHandleId open(const std::string&) override { return invalid_hid_id; }
    bool attributes(HidHandleId, std::uint16_t&, std::uint16_t&) override { return false; }
    bool feature_report_length(HidHandleId, std::size_t&) override { return false; }
    bool set_feature(HidHandleId, const std::uint8_t*, std::size_t) override { return false; }
    bool get_feature(HidHandleId, std::uint8_t*, std::size_t) override { return false; }
    void close(HidHandleId) override {}
};

TEST(WindowFaults, a_failing_handler_is_shown_in_one_error_box_and_ticks_wait_while_it_is_open)
{
    ThrowingHid hid;
    Win32Window window(hid, CarriedImage{});
    window.show(SW_SHOWNORMAL);

    // A helper finds the box, sends the window two more ticks while it is open, reads the
    // box's text and closes it.
    std::atomic<bool> found{false};
    std::wstring text;
    std::thread closer([&] {
        for (int i = 0; i < 200 && !found; ++i) {
            HWND box = FindWindowW(L"#32770", nullptr);
            if (box != nullptr && GetWindow(box, GW_OWNER) == window.hwnd()) {
                found = true;
                PostMessageW(window.hwnd(), WM_TIMER, timer1, 0);
                PostMessageW(window.hwnd(), WM_TIMER, timer1, 0);
                Sleep(300);
                wchar_t buffer[256] = {};
                EnumChildWindows(box, copy_failure_text, reinterpret_cast<LPARAM>(buffer));
                text = buffer;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(50);
        }
    });
    SendMessageW(window.hwnd(), WM_TIMER, timer1, 0);  // returns once the box is closed
    closer.join();
    EXPECT_TRUE(found);
    EXPECT_EQ(narrow(text), "сбой списка устройств");
    EXPECT_EQ(hid.listings, 1);  // the ticks during the box ran nothing
    // The window goes on: the next tick runs the handler again.
    std::thread closer2([&] {
        for (int i = 0; i < 200; ++i) {
            HWND box = FindWindowW(L"#32770", nullptr);
            if (box != nullptr && GetWindow(box, GW_OWNER) == window.hwnd()) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(50);
        }
    });
    SendMessageW(window.hwnd(), WM_TIMER, timer1, 0);
    closer2.join();
    EXPECT_EQ(hid.listings, 2);
}


// The paints of one control, counted in front of its own window procedure, and the ticks of a
// timer of its own (bar_timer, as a themed bar animates its fill), which it never sees.
WNDPROC counted_proc = nullptr;
int paints_counted = 0, ticks_counted = 0;
constexpr UINT_PTR bar_timer = 0x7A11;
LRESULT CALLBACK counting_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    paints_counted += msg == WM_PAINT;
    if (msg == WM_TIMER && wparam == bar_timer) return ++ticks_counted, 0;
    return CallWindowProcW(counted_proc, hwnd, msg, wparam, lparam);
}
void count_paints(HWND control)
{
    paints_counted = 0;
    counted_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counting_proc)));
}
void stop_counting(HWND control) { SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(counted_proc)); }

// A firmware stream at a module's pace with the window's turns every 20 ms: what another thread
// sends the window is answered and a label it invalidates is painted meanwhile, while the
// status timer (due every 5 ms) and a sent close wait for the end, while the bar's own timer
// ticks; a click of "Обновить" and a key made meanwhile are thrown away.
TEST(WindowAlive, a_long_stream_answers_and_paints_but_runs_no_tick_click_or_close)
{
    using namespace std::chrono_literals;
    std::vector<std::uint8_t> image(64 * 1024, 0x3C);
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    std::chrono::steady_clock::duration pace = 0ms;
    PacedHid paced(bus, [&] { spin_for(pace); });
    Win32Window window(paced, CarriedImage{image.data(), image.size(), 0x00043600});
    window.start();
    window.show(SW_SHOWNORMAL);
    pump();
    module.set_form(SimModule::Form::loader);
    window.form().Timer1Timer();  // finds the loader
    window.form().set_keep_alive_interval(20ms);
    const HWND hwnd = window.hwnd(), label = window.control(Control::Label46), button = window.control(Control::Button3);
    const auto click_button = [button] {  // as the user's mouse puts it into the queue
        PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    };
    click_button();
    pump();
    ASSERT_TRUE(window.form().up_flag) << "outside a transfer the click runs";
    SetTimer(hwnd, timer1, 5, nullptr);
    click_button();
    PostMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageW(button, WM_KEYUP, VK_SPACE, 0);
    std::atomic<bool> streaming{true};
    int answered = 0, painted = 0;
    DWORD slowest = 0;
    std::thread helper([&] {
        Sleep(50);
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        while (streaming) {
            const DWORD asked = GetTickCount();
            DWORD_PTR result = 0;
            answered += SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, 3000, &result) != 0;
            slowest = std::max(slowest, GetTickCount() - asked);
            InvalidateRect(label, nullptr, TRUE);
            Sleep(60);
            painted += streaming && GetUpdateRect(label, nullptr, FALSE) == FALSE;
        }
    });
    const HWND bar = window.control(Control::ProgressBar1);
    count_paints(bar);
    ticks_counted = 0;
    SetTimer(bar, bar_timer, 5, nullptr);
    pace = 500us;  // 1028 reports: half a second at least
    module.clear_commands();
    const ULONGLONG began = GetTickCount64();
    window.form().click(Control::Timer1);  // the tick streams, as the window runs it
    const auto turns = static_cast<int>((GetTickCount64() - began) / 20 + 1);
    const int bar_paints = paints_counted, bar_ticks = ticks_counted;
    KillTimer(bar, bar_timer);
    stop_counting(bar);
    streaming = false;
    helper.join();
    pace = 0ms;

    EXPECT_EQ(module.last_update_image(), image);
    std::vector<std::uint8_t> codes;  // the tick's searches and queries, the stream's
    for (const SimCommand& c : module.commands()) codes.push_back(c.code);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{cmd_identify, cmd_identify, cmd_get_status, cmd_get_loader_info,
                                                cmd_identify, cmd_update}));
    EXPECT_GE(answered, 5);
    EXPECT_LT(slowest, 500u);
    EXPECT_GE(painted, 3);
    // 128 pieces move the bar by 100 steps; it is painted in the turns, one paint a turn at most.
    EXPECT_GE(bar_paints, 3);
    EXPECT_LE(bar_paints, turns + 1);
    EXPECT_GE(bar_ticks, 3);
    EXPECT_TRUE(IsWindow(hwnd)) << "the close waited";
    KillTimer(hwnd, timer1);
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_KEYFIRST, WM_MOUSELAST, PM_NOREMOVE)) << "the input was thrown away";
    pump();  // afterwards the close goes through, the click never
    EXPECT_FALSE(window.form().up_flag);
    EXPECT_FALSE(IsWindow(hwnd));
}

// Before a transfer the window paints what is due (a text changed, a place a dialog covered),
// not a control untouched. The bar takes the position set last in the window's next turn,
// painted there, or from the message loop after the transfer.
TEST_F(WindowOnDemo, what_is_due_is_painted_before_a_transfer_and_the_bars_last_position_in_a_turn)
{
    window.show(SW_SHOWNORMAL);
    pump();
    const HWND text = window.control(Control::StaticText7), button = window.control(Control::Button1);
    InvalidateRect(text, nullptr, TRUE);  // a new text not painted yet
    count_paints(button);
    window.repaint();
    stop_counting(button);
    EXPECT_FALSE(GetUpdateRect(text, nullptr, FALSE));
    EXPECT_EQ(paints_counted, 0);

    const HWND bar = window.control(Control::ProgressBar1);
    for (int position : {1, 2, 40}) window.set_progress(position);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    window.keep_alive();
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 40);
    EXPECT_FALSE(GetUpdateRect(bar, nullptr, FALSE)) << "painted in the turn";
    window.set_progress(41);
    window.set_progress(0);
    pump();
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
}

}  // namespace

namespace {

bool page_made(Win32Window& window, int page) { return GetWindow(window.page_window(page), GW_CHILD) != nullptr; }

const FormControl& entry_of(Control c)
{
    for (const FormControl& e : form_controls())
        if (e.name == c) return e;
    throw std::logic_error("no such control");
}

TEST_F(WindowOnDemo, a_page_is_made_when_first_shown_with_what_the_logic_wrote_to_it_before)
{
    EXPECT_TRUE(page_made(window, page_config));
    for (int page = page_rom; page <= page_network; ++page) EXPECT_FALSE(page_made(window, page)) << page;
    window.start();  // fills the previews, the port list, disables the output bits

    // Written and read back through the view while the network and RAM pages have no windows.
    EXPECT_EQ(window.text(Control::ComboBox9), "57600");
    window.set_text(Control::ComboBox9, "19200");
    EXPECT_EQ(window.combo_index(Control::ComboBox9), 3);
    window.combo_set_items(Control::ComboBox8, {"COM3", "COM7"});
    EXPECT_EQ(window.combo_index(Control::ComboBox8), -1);
    window.combo_select(Control::ComboBox8, 1);
    EXPECT_EQ(window.text(Control::ComboBox8), "COM7");
    window.set_text(Control::StaticText69, "v 1.2");
    window.set_enabled(Control::Button15, false);
    window.list_clear(Control::ListBox5);
    window.list_append(Control::ListBox5, "00 11");
    EXPECT_EQ(window.combo_count(Control::ComboBox8), 2);
    EXPECT_FALSE(window.checked(Control::CheckBox1));
    EXPECT_FALSE(page_made(window, page_network));
    EXPECT_FALSE(page_made(window, page_ram));

    // Shown: the controls carry it, and making them ran no handler.
    const std::int32_t rate = window.form().net_br;
    window.set_active_page(page_network);
    window.set_active_page(page_ram);
    EXPECT_TRUE(page_made(window, page_network));
    EXPECT_EQ(window.form().net_br, rate);
    HWND ports = window.control(Control::ComboBox8);
    EXPECT_EQ(SendMessageW(ports, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(ports, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(caption_of(window.control(Control::ComboBox9)), "19200");
    EXPECT_EQ(caption_of(window.control(Control::StaticText69)), "v 1.2");
    EXPECT_FALSE(IsWindowEnabled(window.control(Control::Button15)));
    HWND lines = window.control(Control::ListBox5);
    ASSERT_EQ(SendMessageW(lines, LB_GETCOUNT, 0, 0), 1);
    wchar_t line[32] = {};
    SendMessageW(lines, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(narrow(line), "00 11");
    // The output bits were disabled by the start-up before their page existed.
    EXPECT_FALSE(IsWindowEnabled(window.control(Control::CheckBox17)));

    // An edit written from code runs its handler as a typed change does, made or not.
    window.set_text(Control::Edit9, "17");
    EXPECT_EQ(window.form().KP3, 15);
}

TEST_F(WindowOnDemo, a_page_made_late_keeps_the_tables_keyboard_order_and_the_screens_scale)
{
    window.start();
    window.show(SW_SHOWNORMAL);
    RECT suggested{0, 0, 1100, 560};
    SendMessageW(window.hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    window.set_active_page(page_ke_bfos);
    window.set_active_page(page_rom);

    // Children of the page in the order Tab walks them: the named ones as the table lists them.
    std::vector<Control> walked, listed;
    for (HWND child = GetWindow(window.page_window(page_ke_bfos), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const auto id = static_cast<UINT_PTR>(GetDlgCtrlID(child));
        if (id >= Win32Window::control_id_base && id < Win32Window::control_id_base + control_count)
            walked.push_back(static_cast<Control>(id - Win32Window::control_id_base));
    }
    for (const FormControl& c : form_controls()) {
        if (!holder_within(c.parent, holder_of(page_ke_bfos))) continue;
        if (c.name) listed.push_back(*c.name);
        if (c.partner) listed.push_back(*c.partner);
    }
    EXPECT_GT(listed.size(), 40u);
    EXPECT_EQ(walked, listed);

    // Made after the move to a denser screen: at its scale, not at the start's.
    const FormRect rect = entry_of(Control::ListBox1).rect;
    auto at = [](int pixels) { return static_cast<int>(pixels * 1.5 + 0.5); };
    EXPECT_EQ(place_of(window.control(Control::ListBox1)), (FormRect{at(rect.x), at(rect.y), at(rect.w), at(rect.h)}));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window.control(Control::ListBox1), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -18);  // the previews' 12 pixels, scaled
}

}  // namespace
