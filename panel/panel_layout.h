// The panel column: thirty station buttons on 260-twip rows with their
// online labels, the separators after rows 9 and 19, and "Menu" below.
#pragma once

#include "config/station_table.h"
#include "controls/controls.h"

namespace tovira {

class FormWindow;

inline constexpr float kRowPitch = 260;
inline constexpr float kButtonWidth = 660;
inline constexpr float kLabelLeft = 670;
inline constexpr float kSeparatorLength = 1820;

class PanelLayout {
public:
    // What the layout reads and places.
    struct Uses {
        FormWindow& window;                                 // active flags, height
        const ControlArray<CommandButton, kSlotCount>& c1;  // station buttons
        const ControlArray<Label, kSlotCount>& l1;          // online labels
        const ControlArray<CheckBox, kSlotCount>& Check2;   // slot check boxes
        CommandButton& Command2;                            // "Menu"
        Label& Label9;                                      // request patch
        Line& Line2;                                        // separator before row 10
        Line& Line3;                                        // separator before row 20
    };

    explicit PanelLayout(const Uses& uses) : f_(uses) {}

    // Shows exactly the named slots whose active flag is set, copies every
    // flag into its slot check box and puts the panel controls in place.
    void collapse();

private:
    Uses f_;
};

}  // namespace tovira
