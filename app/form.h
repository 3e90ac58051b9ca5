// The main window described once, as a form designer's form file describes it: every control,
// named or not, with its holder, kind, place, size, caption and initial state. Each front end
// builds its window from this table by one loop, and the status monitor takes the registers,
// counters and DAC channels it polls from the same rows, so a row added here is laid out and
// polled. Plain data, no toolkit types: places are client coordinates of the holder (the
// window, a page of the page control, the status panel or a group box), in pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "app/controls.h"

// The window's client area.
inline constexpr int form_client_width = 712;
inline constexpr int form_client_height = 340;

// The pages of the page control, in tab order, and how many there are.
enum Page : int {
    page_config, page_rom, page_amt, page_kvp, page_ram,
    page_ke_bfos, page_kip_bos, page_kp_dac, page_ea, page_network,
    page_count
};

// What holds controls: the window, its pages (in Page order), the status panel and the group
// boxes.
enum class FormHolder : int {
    window,
    first_page,
    panel = first_page + page_count,
    ke_inputs, ke_outputs, kip_counters, ea_inputs, ea_outputs, ea_cnc,
    count
};
inline constexpr std::size_t form_holder_count = static_cast<std::size_t>(FormHolder::count);
// The holder a page is.
constexpr FormHolder holder_of(Page page)
{
    return static_cast<FormHolder>(static_cast<int>(FormHolder::first_page) + page);
}

enum class FormKind {
    page_control,  // the tabbed pages
    page,          // one page; text: its tab caption
    panel,         // the raised status panel
    group,         // a group box; text: its title
    label,         // a caption
    value,         // a value in a sunken box
    letter,        // a one-letter caption in a sunken box (the configuration page)
    button,
    pick_list,     // a pick-only list; items, selected
    edit,
    preview,       // a list box of hex preview lines
    check_box,     // one bit of an output register; text: its tool tip
    progress,      // a progress bar, 0..100
    timer,         // no place; interval_ms
    // Rows: one entry stands for several controls side by side (form_row_parts gives their
    // places); rect is that of the row's caption.
    // The rows of a page that polls show its registers (module/page_polls.h) in their order.
    register_row,  // caption, bit row (name), octal value (partner)
    counter_row,   // caption, decimal total (name)
    dac_row,       // caption, octal value (name), volts (partner)
};

enum class FontRole {
    ui,       // the window's font
    heading,  // the window's font, bold and 2 pixels larger
    list,     // fixed pitch, for the hex previews
    bit_row,  // fixed pitch, wide enough digits to stand a check box under each
};

enum class Align { left, centre, right, left_bottom };

struct FormRect {
    int x = 0, y = 0, w = 0, h = 0;
    constexpr int right() const { return x + w; }  // first column past the rect
    friend constexpr bool operator==(const FormRect&, const FormRect&) = default;
};

struct FormControl {
    FormKind kind;
    std::optional<Control> name{};  // unnamed: captions, address labels, pages, groups, the panel
    FormHolder parent = FormHolder::window;
    FormRect rect{};
    const char* text = "";        // caption, initial text, tab caption, group title, tool tip
    FontRole font = FontRole::ui;
    Align align = Align::left;
    bool wrap = false;            // captions: break into lines
    bool visible = true;          // pages: whether the tab is offered
    std::span<const char* const> items{};  // pick lists
    int selected = -1;            // pick lists: the item selected at start, -1 none
    int interval_ms = 0;          // timers
    std::optional<FormHolder> holder{};   // pages, the panel and groups: the holder they are
    std::optional<Control> partner{};     // rows: the second value control
};

// Every control of the window, holders before what they hold, in creation order (which is
// also the keyboard focus order).
std::span<const FormControl> form_controls();

// The places of a row's controls, left to right: caption, first value, second value (empty
// for a counter row).
struct FormRowParts {
    FormRect caption, first, second;
};
FormRowParts form_row_parts(const FormControl& row);
// The initial text of a row's first or second value: a bit row of zeros, or "0".
const char* form_row_text(const FormControl& row, bool first);

// Whether `inner` is `outer` or lies (through groups) in it.
bool holder_within(FormHolder inner, FormHolder outer);

// The rows of one kind in a frame (groups within it included), in table order.
std::vector<FormControl> form_rows(FormKind kind, FormHolder frame);
