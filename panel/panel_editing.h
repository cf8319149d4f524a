// The editing view: "Menu", the name and position fields, the slot check
// boxes, "ALL ON/OFF", the show-all box, the gap option, the colour schemes
// and the request patch.
#pragma once

#include <array>
#include <cstdint>

namespace tovira {

class Form1;

inline constexpr float kPanelWidth = 1290;
inline constexpr float kEditWidth = 8200;
inline constexpr float kViewHeight = 8100;

struct ColourScheme {
    const char* caption;
    std::uint32_t background;
};

// Indexed by option number 1 to 5 (entry 0 unused).
inline constexpr std::array<ColourScheme, 6> kColourSchemes{{
    {"", 0},
    {"Blue", 0x000040},
    {"Red", 0x400000},
    {"Gray", 0x404040},
    {"Black", 0x000000},
    {"Green", 0x004000},
}};

inline constexpr std::uint32_t kPatchColour = 0x000040;
inline constexpr std::uint32_t kPatchBusyColour = 0x0000A0;

class PanelEditing {
public:
    explicit PanelEditing(Form1& form) : form_(form) {}

    void Command2_Click();
    void t0_Change(int row);
    void t0_DblClick(int row);
    void t1_DblClick(int row);
    void t0_LostFocus(int row);
    void t1_LostFocus(int row);
    void Check2_Click(int slot);
    void Check3_Click();
    void Command4_Click();
    void Check4_Click();
    void Option_Click(int n);
    void Label9_Click();

    int alltoggle = 1;

private:
    Form1& form_;
};

}  // namespace tovira
