// Routes the window's events to the handlers, so the toolkit layer needs no knowledge of
// which control has which handler. An exception that escapes a handler or a tick ends there:
// the toolkit's error box reports it, the module is let go and the tool goes on.
#include <exception>

#include "app/Unit1.h"

template <typename Handler> void TMainForm::guarded(Handler&& handler)
{
    std::exception_ptr failure;
    try {
        handler();
    } catch (...) {
        failure = std::current_exception();
    }
    // Before any box: a click made while the transfer ran must not answer it either.
    drop_input_of_transfer();
    if (failure) recover_from_exception(failure);
}

// The error box runs a message loop of its own in which the timers keep ticking: a tick that
// fails every time would stack box upon box. While a fault is on show, events are let pass.
void TMainForm::click(Control c)
{
    if (!fault_on_show_ && !keeping_alive_) guarded([this, c] { run_click(c); });
}

void TMainForm::change(Control c)
{
    if (!fault_on_show_ && !keeping_alive_) guarded([this, c] { run_change(c); });
}

namespace {
struct Turn {
    bool& flag;
    explicit Turn(bool& f) : flag(f) { flag = true; }
    ~Turn() { flag = false; }
};
}  // namespace

void TMainForm::keep_window_alive()
{
    if (keeping_alive_) return;
    gave_turns_ = true;
    Turn turn(keeping_alive_);
    view_.keep_alive();
}

void TMainForm::drop_input_of_transfer()
{
    if (!gave_turns_ || keeping_alive_) return;
    gave_turns_ = false;
    // Still busy while the input is thrown away: a tick or close the view meets meanwhile is
    // turned away or waits, as in a turn.
    Turn turn(keeping_alive_);
    view_.drop_input();
}

// Start-up and close run whatever is on show: the window closes also while a box is open.
void TMainForm::create()
{
    guarded([this] { FormCreate(); });
}

void TMainForm::close()
{
    guarded([this] { FormClose(); });
}

void TMainForm::recover_from_exception(std::exception_ptr failure)
{
    // The holders of the module release it while the exception passes; this is the backstop
    // for anything that did not.
    close_device(HidHandle);
    view_.set_cursor(CursorShape::normal);
    if (fault_on_show_) return;  // one box at a time: a fault while one is open is not shown
    struct OnShow {
        bool& flag;
        explicit OnShow(bool& f) : flag(f) { flag = true; }
        ~OnShow() { flag = false; }
    } on_show(fault_on_show_);
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        view_.show_error(e.what());
    } catch (...) {
        view_.show_error(unexpected_error_text);
    }
}

void TMainForm::run_click(Control c)
{
    switch (c) {
    case Control::Button1: Button1Click(); break;
    case Control::Button2: Button2Click(); break;
    case Control::Button3: Button3Click(); break;
    case Control::Button4: Button4Click(); break;
    case Control::Button5: Button5Click(); break;
    case Control::Button6: Button6Click(); break;
    case Control::Button7: Button7Click(); break;
    case Control::Button8: Button8Click(); break;
    case Control::Button9: Button9Click(); break;
    case Control::Button10: Button10Click(); break;
    case Control::Button11: Button11Click(); break;
    case Control::Button12: Button12Click(); break;
    case Control::Button13: Button13Click(); break;
    case Control::Button14: Button14Click(); break;
    case Control::Button15: Button15Click(); break;
    case Control::BitBtn1: BitBtn1Click(); break;
    case Control::BitBtn2: BitBtn2Click(); break;
    case Control::BitBtn3: BitBtn3Click(); break;
    case Control::BitBtn4: BitBtn4Click(); break;
    case Control::BitBtn5: BitBtn5Click(); break;
    case Control::BitBtn6: BitBtn6Click(); break;
    case Control::BitBtn7: BitBtn7Click(); break;
    case Control::BitBtn8: BitBtn8Click(); break;
    case Control::BitBtn9: BitBtn9Click(); break;
    case Control::BitBtn10: BitBtn10Click(); break;
    case Control::BitBtn11: BitBtn11Click(); break;
    case Control::BitBtn12: BitBtn12Click(); break;
    case Control::BitBtn13: BitBtn13Click(); break;
    case Control::BitBtn14: BitBtn14Click(); break;
    case Control::Timer1: Timer1Timer(); break;
    case Control::Timer2: Timer2Timer(); break;
    default: break;
    }
}

void TMainForm::run_change(Control c)
{
    switch (c) {
    case Control::ComboBox1: ComboBox1Change(); break;
    case Control::ComboBox2: ComboBox2Change(); break;
    case Control::ComboBox3: ComboBox3Change(); break;
    case Control::ComboBox4: ComboBox4Change(); break;
    case Control::ComboBox5: ComboBox5Change(); break;
    case Control::ComboBox6: ComboBox6Change(); break;
    case Control::ComboBox7: ComboBox7Change(); break;
    case Control::ComboBox8: ComboBox8Change(); break;
    case Control::ComboBox9: ComboBox9Change(); break;
    case Control::Edit1: Edit1Change(); break;
    case Control::Edit7: Edit7Change(); break;
    case Control::Edit8: Edit8Change(); break;
    case Control::Edit9: Edit9Change(); break;
    case Control::Edit10: Edit10Change(); break;
    case Control::PageControl1: PageControl1Change(); break;
    default: break;
    }
}
