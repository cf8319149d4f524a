// The editing view: "Menu", the name and position fields, the slot check
// boxes, "ALL ON/OFF", the show-all box, the gap option, the colour schemes
// and the request patch.
#pragma once

#include <array>
#include <cstdint>

#include "config/station_table.h"
#include "controls/controls.h"
#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

class PanelLayout;
class UpdateScheduler;

struct ColourScheme {
    const char* caption;
    std::uint32_t background;
};

// Indexed by option number 1 to 5 (entry 0 unused).
inline constexpr std::array<ColourScheme, 6> kColourSchemes{{
    {"", 0},
    {"Blue", kNavy},
    {"Red", 0x400000},
    {"Gray", 0x404040},
    {"Black", 0x000000},
    {"Green", 0x004000},
}};

// The patch is the blue background's colour: unseen until it is busy.
inline constexpr std::uint32_t kPatchColour = kNavy;
inline constexpr std::uint32_t kPatchBusyColour = 0x0000A0;

class PanelEditing {
public:
    // What the editing reactions read and change.
    struct Uses {
        platform::Platform& platform;
        FormWindow& window;  // the views' places, focus, background, flags
        const ControlArray<CommandButton, kSlotCount>& c1;  // station buttons
        const ControlArray<Label, kSlotCount>& l1;          // online labels
        const ControlArray<TextBox, kFieldRows>& t0;        // names
        const ControlArray<TextBox, kFieldRows>& t1;        // positions
        const ControlArray<CheckBox, kSlotCount>& Check2;   // slot check boxes
        CheckBox& Check3;                                   // show-all box
        CommandButton& Command1;                            // "Test": the focus in the editing view
        Label& Label9;                                      // request patch
        PanelLayout& layout;                                // collapse
        UpdateScheduler& scheduler;                         // the manual request
    };

    explicit PanelEditing(const Uses& uses) : f_(uses) {}

    void Command2_Click();        // "Menu"
    void t0_Change(int row);      // name field: the button's caption
    void t0_DblClick(int row);    // name field: cleared
    void t1_DblClick(int row);    // position field: cleared
    void t0_LostFocus(int row);   // name field: upper case
    void t1_LostFocus(int row);   // position field: upper case
    void Check2_Click(int slot);  // slot check box
    void Check3_Click();          // show-all box
    void Command4_Click();        // "ALL ON/OFF"
    void Check4_Click();          // gap box
    void Option_Click(int n);     // "Blue", "Red", "Gray", "Black", "Green"
    void Label9_Click();          // request patch

    int alltoggle = 1;

private:
    Uses f_;
};

}  // namespace tovira
