// The window's design: every control with the caption, tool tip, place,
// size, colours and state it has when the window is created.
#include <string>

#include "app/main_window.h"

namespace tovira {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kFieldBack = 0xFFFFFF;

// The typing delay at creation: the delay timer's interval, shown in the
// delay field.
constexpr unsigned kCreatedDelayMs = 100;
// The start-up sequence runs this long after creation.
constexpr unsigned kStartUpDelayMs = 100;
constexpr unsigned kMinuteMs = 60000;

// Button and label colours of the three groups of ten rows.
std::uint32_t button_colour(int slot) {
    return slot < 10 ? 0xFF00FF : slot < 20 ? 0x00FF00 : 0x00FFFF;
}
std::uint32_t label_colour(int slot) {
    return slot < 10 ? 0xFFC0FF : slot < 20 ? 0x00FF00 : 0x00FFFF;
}

// Rows 21 and later of the editing table sit 45 lower than the rule.
float field_row_top(int row) {
    return row <= 20 ? 315.0f + 240.0f * row : 360.0f + 240.0f * row;
}
float check_row_top(int row) {
    if (row <= 19) return 315.0f + 240.0f * row;
    if (row == 20) return 5160.0f;
    return 360.0f + 240.0f * row;
}

const Font kArialBold{"Arial", 8.25f, true};
const Font kCommandFont{"Arial", 9.75f, true};

}  // namespace

template <typename T>
std::unique_ptr<T> Form1Controls::make(const char* name, int index, int id) {
    auto control = std::make_unique<T>(platform_, name, index, id);
    controls_.push_back(control.get());
    return control;
}

Form1Controls::Form1Controls(platform::Platform& platform) : platform_(platform) {
    // The panel column. Until the first layout the buttons stand where the
    // design put them: from Top 480, 240 apart, 615 wide.
    for (int i = 0; i < kSlotCount; ++i) {
        auto& b = c1[i] = make<CommandButton>("c1", i, control_id::c1 + i);
        b->set_geometry(0, 480.0f + 240.0f * i, 615, 255);
        b->set_graphical(true);
        b->set_colors(kBlack, button_colour(i), false);
    }
    for (int i = 0; i < kSlotCount; ++i) {
        auto& l = l1[i] = make<Label>("l1", i, control_id::l1 + i);
        l->set_geometry(670, 480.0f + 240.0f * i, 885, 240);
        l->set_colors(label_colour(i), kNavy, false);
        l->set_font(kArialBold);
    }
    Command2 = make<CommandButton>("Command2", -1, control_id::CommandN + 2);
    Command2->set_caption("Menu");
    Command2->set_tooltip("Configure the buttons and ATC positions");
    Command2->set_geometry(0, 7825, 660, 255);
    Label9 = make<Label>("Label9", -1, control_id::LabelN + 9);
    Label9->set_geometry(600, 7825, 495, 255);
    Label9->set_colors(kWhite, kNavy, false);
    Line2 = make<Line>("Line2", -1, control_id::LineN + 2);
    Line2->set_ends(0, 2580, 1820, 2580);
    Line2->set_colors(0xFF0000, 0xFF0000, false);
    Line3 = make<Line>("Line3", -1, control_id::LineN + 3);
    Line3->set_ends(0, 5190, 1820, 5190);
    Line3->set_colors(0xFF0000, 0xFF0000, false);
    Label8 = make<Label>("Label8", -1, control_id::LabelN + 8);
    Label8->set_caption(" Loading ...");
    Label8->set_geometry(0, 0, 1455, 255);
    Label8->set_colors(kWhite, kNavy, true);

    // The editing table.
    Label1 = make<Label>("Label1", -1, control_id::LabelN + 1);
    Label1->set_caption("   Name     Tovira Pos");
    Label1->set_geometry(1830, 75, 2655, 255);
    Label1->set_colors(kWhite, kNavy, true);
    Check3 = make<CheckBox>("Check3", -1, control_id::CheckN + 3);
    Check3->set_geometry(4350, 40, 255, 255);
    Check3->set_colors(kWhite, kNavy, false);
    for (int r = 0; r < kFieldRows; ++r) {
        auto& n = t0[r] = make<TextBox>("t0", r, control_id::t0 + r);
        n->set_geometry(1830, field_row_top(r), 975, 285);
        n->set_colors(kBlack, kFieldBack, false);
        auto& p = t1[r] = make<TextBox>("t1", r, control_id::t1 + r);
        p->set_geometry(2910, field_row_top(r), 1335, 285);
        p->set_colors(kBlack, kFieldBack, false);
        if (r < kSlotCount) {
            auto& box = Check2[r] = make<CheckBox>("Check2", r, control_id::Check2 + r);
            box->set_geometry(4350, check_row_top(r), 255, 255);
            box->set_colors(kWhite, kNavy, false);
        }
    }
    t0[kExampleRow]->set_text("TEG_TWR");
    t1[kExampleRow]->set_text("EDDT_TWR");
    Label4 = make<Label>("Label4", -1, control_id::LabelN + 4);
    Label4->set_caption("<<< Example");
    Label4->set_geometry(4680, 7620, 1695, 255);
    Label4->set_colors(kWhite, kNavy, true);

    // Commands, options and settings.
    Command3 = make<CommandButton>("Command3", -1, control_id::CommandN + 3);
    Command3->set_caption("Minimize");
    Command3->set_tooltip("Minimize the form");
    Command3->set_geometry(4710, 315, 2130, 855);
    Command3->set_font(kCommandFont);
    Command5 = make<CommandButton>("Command5", -1, control_id::CommandN + 5);
    Command5->set_caption("Quit + Save");
    Command5->set_tooltip("Quit the program and save all data");
    Command5->set_geometry(4710, 1275, 2130, 855);
    Command5->set_font(kCommandFont);
    Command7 = make<CommandButton>("Command7", -1, control_id::CommandN + 7);
    Command7->set_caption("Manual \"ATC's available\" request");
    Command7->set_tooltip("Force to load the ATC-List by yourself, when the Timer was stopped");
    Command7->set_geometry(4710, 2235, 3150, 375);
    Command6 = make<CommandButton>("Command6", -1, control_id::CommandN + 6);
    Command6->set_caption("Timer start");
    Command6->set_tooltip("Starts the autoupdate");
    Command6->set_geometry(4710, 2715, 1095, 375);
    Text2 = make<TextBox>("Text2", -1, control_id::Text2);
    Text2->set_geometry(6030, 2715, 735, 345);
    Text2->set_colors(kBlack, 0xC0FFC0, false);
    Label7 = make<Label>("Label7", -1, control_id::LabelN + 7);
    Label7->set_caption("Minute(s) Autoupdate");
    Label7->set_geometry(6945, 2775, 1170, 615);
    Label7->set_colors(kWhite, kNavy, true);
    Command8 = make<CommandButton>("Command8", -1, control_id::CommandN + 8);
    Command8->set_caption("Timer stop");
    Command8->set_tooltip("Stops the autoupdate");
    Command8->set_geometry(4710, 3075, 1095, 375);
    Label2 = make<Label>("Label2", -1, control_id::LabelN + 2);
    Label2->set_caption("Update Nr.:");
    Label2->set_geometry(4710, 3555, 1170, 255);
    Label2->set_colors(kWhite, kNavy, true);
    Label5 = make<Label>("Label5", -1, control_id::LabelN + 5);
    Label5->set_geometry(5910, 3555, 1650, 255);
    Label5->set_colors(kWhite, kNavy, true);
    Label6 = make<Label>("Label6", -1, control_id::LabelN + 6);
    Label6->set_geometry(4710, 3795, 3090, 255);
    Label6->set_colors(kWhite, kNavy, true);
    // An extension: in the free space under the timer state.
    Command9 = make<CommandButton>("Command9", -1, control_id::CommandN + 9);
    Command9->set_caption("From Aurora");
    Command9->set_tooltip("Fill the empty slots with the stations of Aurora's transfer list");
    Command9->set_geometry(4710, 4200, 2130, 375);

    Option1 = make<OptionButton>("Option1", -1, control_id::OptionN + 1);
    Option2 = make<OptionButton>("Option2", -1, control_id::OptionN + 2);
    Option3 = make<OptionButton>("Option3", -1, control_id::OptionN + 3);
    Option4 = make<OptionButton>("Option4", -1, control_id::OptionN + 4);
    Option5 = make<OptionButton>("Option5", -1, control_id::OptionN + 5);
    const float option_tops[6] = {0, 315, 1035, 1755, 675, 1395};
    std::vector<OptionButton*> group{Option1.get(), Option2.get(), Option3.get(), Option4.get(),
                                     Option5.get()};
    for (int n = 1; n <= 5; ++n) {
        OptionButton& o = option(n);
        o.set_caption(kColourSchemes[n].caption);
        o.set_geometry(6990, option_tops[n], 855, 255);
        o.set_colors(kWhite, kNavy, false);
        o.set_group(group);
    }
    Option1->select();  // no reaction is wired yet

    Check1 = make<CheckBox>("Check1", -1, control_id::CheckN + 1);
    Check1->set_caption("Always on Top");
    Check1->set_tooltip("Always on Top");
    Check1->set_geometry(5400, 5280, 1665, 225);
    Check1->set_colors(kWhite, kNavy, false);
    Check1->set_value(1);
    Text3 = make<TextBox>("Text3", -1, control_id::Text3);
    Text3->set_text(std::to_string(kCreatedDelayMs));
    Text3->set_tooltip("Wartet, wenn Befehl gesendet werden soll");
    Text3->set_geometry(4800, 5640, 615, 285);
    Text3->set_colors(kBlack, kFieldBack, false);
    Label10 = make<Label>("Label10", -1, control_id::LabelN + 10);
    Label10->set_caption("Verz\xC3\xB6gerungszeit in mSek");
    Label10->set_tooltip("Wartet, wenn Befehl gesendet werden soll");
    Label10->set_geometry(5520, 5685, 2295, 285);
    Label10->set_colors(kWhite, kNavy, false);
    Check5 = make<CheckBox>("Check5", -1, control_id::CheckN + 5);
    Check5->set_caption("KeyWait an/aus");
    Check5->set_tooltip("Wartet auf Beendigung des Befehls oder nicht");
    Check5->set_geometry(4800, 6000, 2535, 255);
    Check5->set_colors(kWhite, kNavy, false);

    // Below the window in both views: reachable by keyboard focus only.
    Command4 = make<CommandButton>("Command4", -1, control_id::CommandN + 4);
    Command4->set_caption("ALL ON/OFF");
    Command4->set_geometry(4830, 11235, 2130, 375);
    Command1 = make<CommandButton>("Command1", -1, control_id::CommandN + 1);
    Command1->set_caption("Test");
    Command1->set_geometry(1950, 11595, 1170, 330);
    Check4 = make<CheckBox>("Check4", -1, control_id::CheckN + 4);
    Check4->set_tooltip("Shows a Space for each deselected Button");
    Check4->set_geometry(7440, 12360, 225, 225);
    Check4->set_colors(kWhite, kNavy, false);
    Check4->set_value(1);

    int tab = 0;
    for (Control* c : controls_) c->set_tab_index(tab++);

    Timer4 = std::make_unique<Timer>(platform_, "Timer4", kCreatedDelayMs);
    Timer5 = std::make_unique<Timer>(platform_, "Timer5", kStartUpDelayMs);
    Timer6 = std::make_unique<Timer>(platform_, "Timer6", kMinuteMs);
    Timer8 = std::make_unique<Timer>(platform_, "Timer8", kKeyStepMs);
}

}  // namespace tovira
