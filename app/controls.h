// Every control of the main window that the window's logic reaches, by the name the
// window's design gives it. One list gives both the Control enum and the widgets'
// objectNames, so a test can find any widget by its name.
#pragma once

#include <array>
#include <string_view>

#define LIRVAN_CONTROLS(X) \
    X(MainForm) \
    X(PageControl1) \
    X(StaticText3) \
    X(StaticText4) \
    X(StaticText5) \
    X(StaticText6) \
    X(StaticText7) \
    X(StaticText8) \
    X(StaticText9) \
    X(Button8) \
    X(Button13) \
    X(Label46) \
    X(Label47) \
    X(Button3) \
    X(ProgressBar1) \
    X(ComboBox1) \
    X(ComboBox2) \
    X(ComboBox3) \
    X(ComboBox4) \
    X(ComboBox5) \
    X(ComboBox6) \
    X(ComboBox7) \
    X(Button1) \
    X(Button2) \
    X(BitBtn1) \
    X(BitBtn2) \
    X(BitBtn3) \
    X(BitBtn4) \
    X(Button5) \
    X(ListBox1) \
    X(BitBtn7) \
    X(BitBtn8) \
    X(BitBtn10) \
    X(BitBtn9) \
    X(BitBtn11) \
    X(BitBtn5) \
    X(Button7) \
    X(Label22) \
    X(Label23) \
    X(ListBox2) \
    X(ListBox4) \
    X(BitBtn12) \
    X(BitBtn6) \
    X(Button9) \
    X(ListBox3) \
    X(BitBtn13) \
    X(BitBtn14) \
    X(Button4) \
    X(Button14) \
    X(ListBox5) \
    X(StaticText29) \
    X(StaticText30) \
    X(StaticText31) \
    X(StaticText32) \
    X(StaticText33) \
    X(StaticText34) \
    X(StaticText35) \
    X(StaticText36) \
    X(StaticText37) \
    X(StaticText38) \
    X(StaticText39) \
    X(StaticText40) \
    X(CheckBox1) \
    X(CheckBox2) \
    X(CheckBox3) \
    X(CheckBox4) \
    X(CheckBox5) \
    X(CheckBox6) \
    X(CheckBox7) \
    X(CheckBox8) \
    X(CheckBox9) \
    X(CheckBox10) \
    X(CheckBox11) \
    X(CheckBox12) \
    X(CheckBox13) \
    X(CheckBox14) \
    X(CheckBox15) \
    X(CheckBox16) \
    X(CheckBox17) \
    X(CheckBox18) \
    X(CheckBox19) \
    X(CheckBox20) \
    X(CheckBox21) \
    X(CheckBox22) \
    X(CheckBox23) \
    X(CheckBox24) \
    X(CheckBox25) \
    X(CheckBox26) \
    X(CheckBox27) \
    X(CheckBox28) \
    X(CheckBox29) \
    X(CheckBox30) \
    X(CheckBox31) \
    X(CheckBox32) \
    X(Button10) \
    X(StaticText41) \
    X(StaticText42) \
    X(CheckBox33) \
    X(CheckBox34) \
    X(CheckBox35) \
    X(CheckBox36) \
    X(Button11) \
    X(StaticText43) \
    X(StaticText44) \
    X(StaticText45) \
    X(StaticText46) \
    X(Button6) \
    X(StaticText47) \
    X(StaticText48) \
    X(StaticText49) \
    X(StaticText50) \
    X(StaticText51) \
    X(StaticText52) \
    X(StaticText53) \
    X(StaticText54) \
    X(Edit7) \
    X(Edit8) \
    X(Edit9) \
    X(Edit10) \
    X(Button12) \
    X(StaticText55) \
    X(StaticText56) \
    X(StaticText57) \
    X(StaticText58) \
    X(StaticText59) \
    X(StaticText60) \
    X(StaticText61) \
    X(StaticText62) \
    X(StaticText63) \
    X(StaticText64) \
    X(StaticText65) \
    X(StaticText66) \
    X(StaticText67) \
    X(StaticText68) \
    X(StaticText71) \
    X(StaticText72) \
    X(Edit1) \
    X(ComboBox8) \
    X(ComboBox9) \
    X(Button15) \
    X(StaticText69) \
    X(StaticText74) \
    X(StaticText76) \
    X(StaticText78) \
    X(Timer1) \
    X(Timer2) \

enum class Control {
#define LIRVAN_CONTROL_ENUM(name) name,
    LIRVAN_CONTROLS(LIRVAN_CONTROL_ENUM)
#undef LIRVAN_CONTROL_ENUM
};

constexpr std::array control_names{
#define LIRVAN_CONTROL_NAME(name) std::string_view{#name},
    LIRVAN_CONTROLS(LIRVAN_CONTROL_NAME)
#undef LIRVAN_CONTROL_NAME
};

constexpr std::size_t control_count = control_names.size();

constexpr std::string_view control_name(Control c) { return control_names[static_cast<std::size_t>(c)]; }
