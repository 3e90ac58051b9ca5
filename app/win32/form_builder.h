// Makes the Win32 window's controls from the form table: one child window (or a row of them)
// per entry, in the table's order, which is also the keyboard's order. Pages and the status
// panel are holder windows of a class of their own, which pass their controls' notifications
// on to the main window. A page's controls are made when the page is first shown: at start
// only the pages' holders, the status panel and the first page have theirs, so the window
// comes up in the time of a small one.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "app/form.h"

// A named control's window id: this base plus the control's number.
inline constexpr UINT_PTR form_control_id_base = 1000;

// The windows made for the named controls and the pages, as the view reaches them.
struct ControlWindows {
    std::array<HWND, control_count> hwnd{};
    std::array<FormKind, control_count> kind{};
    std::array<UINT, control_count> interval_ms{};  // timers
    std::vector<HWND> pages;                        // holder window of each page, by page index
    std::vector<int> tab_pages;                     // page index of each tab, left to right
};

class FormBuilder {
public:
    explicit FormBuilder(ControlWindows& windows) : windows_(windows) {}
    ~FormBuilder();
    FormBuilder(const FormBuilder&) = delete;
    FormBuilder& operator=(const FormBuilder&) = delete;

    // The first page shown at start; its controls are made with the window's.
    static constexpr int first_page = 0;

    // The entries of the table into `window`, at `scale` screen pixels per form pixel: all but
    // those on a page other than the first, which wait for build_page.
    void build(HWND window, double scale);
    // Makes the controls of a page that has them still to make, in table order, and returns the
    // named controls made (a row's both values).
    std::vector<Control> build_page(int page);
    // The entries of a page still to make (none once it is made), in table order.
    std::span<const FormControl* const> entries_to_make(int page) const;
    // The page whose controls are still to make that holds a control, or -1.
    int page_to_make(Control c) const { return control_page_[static_cast<std::size_t>(c)]; }
    // The same layout at another scale: every window made so far moved, sized and given its
    // font anew, the pages laid over the tab control's display area again.
    void rescale(double scale);
    double scale() const { return scale_; }

private:
    struct Holder {
        HWND hwnd = nullptr;
        POINT offset{};  // of the frame's origin in the holder window (group boxes share their page)
    };
    struct Placed {
        HWND hwnd;
        FormRect rect;  // in form pixels, in its holder window
        FontRole font;
    };

    void build_entry(const FormControl& c);
    // Where an entry stands: its page, or -1 (the window, the panel), learnt in table order.
    int page_of(const FormControl& c);
    void build_page(const FormControl& c);
    HWND build_panel(const FormControl& c, const Holder& holder);
    HWND build_control(const FormControl& c, const Holder& holder);
    HWND build_pick_list(const FormControl& c, const Holder& holder);
    HWND build_check_box(const FormControl& c, const Holder& holder);
    HWND build_row(const FormControl& c, const Holder& holder);
    HWND make_child(const wchar_t* window_class, const std::wstring& text, DWORD style, DWORD ex_style,
                    const Holder& holder, const FormRect& rect, std::optional<Control> name, FontRole font);
    void place_pages();
    HFONT font_of(FontRole role);
    HWND tool_tips();
    int scaled(int pixels) const { return static_cast<int>(pixels * scale_ + 0.5); }

    ControlWindows& windows_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    std::array<HFONT, 4> fonts_{};  // by font role
    double scale_ = 1.0;
    std::vector<Placed> placed_;    // every control window with its place, for a change of density
    static constexpr std::size_t frame_count = form_holder_count;
    std::array<Holder, frame_count> holders_{};  // by frame
    std::array<int, frame_count> frame_page_{};  // the page each frame stands on, -1 none
    std::vector<std::vector<const FormControl*>> to_make_;  // by page: entries still to make
    std::array<int, control_count> control_page_{};          // by control: page still to make, -1
};
