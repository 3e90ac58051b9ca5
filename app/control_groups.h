// The window's control groups whose enabled state follows the module and the CNC: the device
// action buttons (usable while the module answers), the output check boxes (while the CNC is
// stopped) and the DAC value edits (while the CNC is stopped and the external DAC is on).
// A group is always enabled or disabled member by member in the order listed here.
#pragma once

#include <array>

#include "app/controls.h"
#include "app/view.h"

inline constexpr std::array device_action_buttons{
    Control::Button1,  Control::Button2,  Control::Button3,  Control::Button4,  Control::Button5,
    Control::Button7,  Control::Button8,  Control::Button9,  Control::Button10, Control::Button11,
    Control::Button12, Control::Button13, Control::Button14, Control::BitBtn4,  Control::BitBtn5,
    Control::BitBtn6,  Control::BitBtn14,
};

inline constexpr std::array output_check_boxes{
    Control::CheckBox1,  Control::CheckBox2,  Control::CheckBox3,  Control::CheckBox4,
    Control::CheckBox5,  Control::CheckBox6,  Control::CheckBox7,  Control::CheckBox8,
    Control::CheckBox9,  Control::CheckBox10, Control::CheckBox11, Control::CheckBox12,
    Control::CheckBox13, Control::CheckBox14, Control::CheckBox15, Control::CheckBox16,
    Control::CheckBox17, Control::CheckBox18, Control::CheckBox19, Control::CheckBox20,
    Control::CheckBox21, Control::CheckBox22, Control::CheckBox23, Control::CheckBox24,
    Control::CheckBox25, Control::CheckBox26, Control::CheckBox27, Control::CheckBox28,
    Control::CheckBox29, Control::CheckBox30, Control::CheckBox31, Control::CheckBox32,
    Control::CheckBox33, Control::CheckBox34, Control::CheckBox35, Control::CheckBox36,
};

inline constexpr std::array dac_value_edits{
    Control::Edit7, Control::Edit8, Control::Edit9, Control::Edit10,
};

template <typename Group>
void set_group_enabled(View& view, const Group& group, bool enabled)
{
    for (const Control c : group) view.set_enabled(c, enabled);
}
