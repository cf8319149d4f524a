// The panel column: thirty station buttons on 260-twip rows with their
// online labels, the separators after rows 9 and 19, and "Menu" below.
#pragma once

namespace tovira {

class Form1;

inline constexpr float kRowPitch = 260;
inline constexpr float kButtonWidth = 660;
inline constexpr float kLabelLeft = 670;
inline constexpr float kSeparatorLength = 1820;
inline constexpr float kLayoutHeight = 8100;

class PanelLayout {
public:
    explicit PanelLayout(Form1& form) : form_(form) {}

    // Shows exactly the named slots whose active flag is set, copies every
    // flag into its slot check box and puts the panel controls in place.
    void collapse();

private:
    Form1& form_;
};

}  // namespace tovira
