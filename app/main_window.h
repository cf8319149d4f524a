// `Form1`, the main window, the top of the program: it is the window (its
// values and operations are `FormWindow`'s), owns every control
// (`Form1Controls`, the window's design) and the parts of the program that
// react to them, for the whole run, and wires every control event to its
// handler. Each part is given exactly the controls, window values and
// sibling parts it touches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aurora/aurora_link.h"
#include "config/config_file.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "dispatch/aurora_client.h"
#include "dispatch/dispatch.h"
#include "monitor/feed.h"
#include "monitor/http_client.h"
#include "monitor/inet_control.h"
#include "monitor/status_parser.h"
#include "monitor/update_scheduler.h"
#include "panel/aurora_panel.h"
#include "panel/menu_notices.h"
#include "panel/panel_editing.h"
#include "panel/panel_layout.h"
#include "platform/platform.h"
#include "platform/window_host.h"
#include "window/form_window.h"

namespace tovira {

// Display changes come in bursts: the reachable-position rule waits this
// long after the last.
inline constexpr unsigned kDisplaySettleMs = 500;

// Fixed control IDs, so that tests and accessibility tools can address them.
namespace control_id {
inline constexpr int c1 = 1000, l1 = 1100, t0 = 1200, t1 = 1300, Check2 = 1400;
inline constexpr int CheckN = 2000, CommandN = 2100, OptionN = 2200, LabelN = 2300;
inline constexpr int Text2 = 2402, Text3 = 2403, LineN = 2500;
}  // namespace control_id

// The window's controls under their designer names, created by the design
// (form_design.cpp) in this order, before anything that receives them.
class Form1Controls {
public:
    explicit Form1Controls(platform::Platform& platform);
    Form1Controls(const Form1Controls&) = delete;
    Form1Controls& operator=(const Form1Controls&) = delete;

    // Every control, in creation order, for backends that mirror them.
    const std::vector<Control*>& controls() const { return controls_; }
    Control* find_control(int id) const;
    OptionButton& option(int n);  // Option1 to Option5

private:
    template <typename T>
    std::unique_ptr<T> make(const char* name, int index, int id);

    platform::Platform& platform_;
    std::vector<Control*> controls_;

public:
    // ---- panel column ----------------------------------------------------
    ControlArray<CommandButton, kSlotCount> c1;  // station buttons: the slot's name
    ControlArray<Label, kSlotCount> l1;          // online labels: the station's frequency
    std::unique_ptr<CommandButton> Command2;     // "Menu"
    std::unique_ptr<Label> Label9;               // request patch: an update on a click
    std::unique_ptr<Line> Line2;                 // separator before row 10
    std::unique_ptr<Line> Line3;                 // separator before row 20
    std::unique_ptr<Label> Label8;               // " Loading ..." notice until the first update

    // ---- editing view: the station table ---------------------------------
    std::unique_ptr<Label> Label1;              // "   Name     Tovira Pos" heading
    std::unique_ptr<CheckBox> Check3;           // show-all box: every slot on while ticked
    ControlArray<TextBox, kFieldRows> t0;       // name fields (row 30: example "TEG_TWR")
    ControlArray<TextBox, kFieldRows> t1;       // position fields (row 30: example "EDDT_TWR")
    ControlArray<CheckBox, kSlotCount> Check2;  // slot check boxes: the active flags
    std::unique_ptr<Label> Label4;              // "<<< Example"

    // ---- editing view: window commands and updates -----------------------
    std::unique_ptr<CommandButton> Command3;  // "Minimize"
    std::unique_ptr<CommandButton> Command5;  // "Quit + Save"
    std::unique_ptr<CommandButton> Command7;  // "Manual "ATC's available" request"
    std::unique_ptr<CommandButton> Command6;  // "Timer start"
    std::unique_ptr<TextBox> Text2;           // interval field: minutes between updates
    std::unique_ptr<Label> Label7;            // "Minute(s) Autoupdate"
    std::unique_ptr<CommandButton> Command8;  // "Timer stop"
    std::unique_ptr<Label> Label2;            // "Update Nr.:"
    std::unique_ptr<Label> Label5;            // update number ("Loading..." while fetching)
    std::unique_ptr<Label> Label6;            // timer state: "Timer was started"
    std::unique_ptr<CommandButton> Command9;  // "From Aurora": empty slots from Aurora's lists

    // ---- editing view: options -------------------------------------------
    std::unique_ptr<OptionButton> Option1;  // "Blue" colour scheme
    std::unique_ptr<OptionButton> Option2;  // "Red" colour scheme
    std::unique_ptr<OptionButton> Option3;  // "Gray" colour scheme
    std::unique_ptr<OptionButton> Option4;  // "Black" colour scheme
    std::unique_ptr<OptionButton> Option5;  // "Green" colour scheme
    std::unique_ptr<CheckBox> Check1;       // "Always on Top"
    std::unique_ptr<TextBox> Text3;         // delay field: the typing delay in ms
    std::unique_ptr<Label> Label10;         // "Verzögerungszeit in mSek"
    std::unique_ptr<CheckBox> Check5;       // "KeyWait an/aus"

    // ---- below the window in both views: keyboard focus only -------------
    std::unique_ptr<CommandButton> Command4;  // "ALL ON/OFF"
    std::unique_ptr<CommandButton> Command1;  // "Test": the focus in the editing view
    std::unique_ptr<CheckBox> Check4;         // gap box: a space for each deselected button

    // ---- timers ----------------------------------------------------------
    std::unique_ptr<Timer> Timer4;  // delay timer: the typing delay after a click
    std::unique_ptr<Timer> Timer5;  // start-up timer: the start-up sequence, once
    std::unique_ptr<Timer> Timer6;  // minute timer: the automatic update's countdown
    std::unique_ptr<Timer> Timer8;  // key timer: one key step per tick
};

class Form1 : public Form1Controls, public FormWindow, public platform::WindowHost {
public:
    explicit Form1(platform::Platform& platform);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1() override;

    platform::Platform& platform() { return platform_; }

    // ---- events of the window --------------------------------------------
    // Creation: runs the creation steps, shows the window and starts the
    // timers that run from the start.
    void Form_Load();
    void Timer5_Timer();    // start-up timer: the start-up sequence
    void Check1_Click();    // "Always on Top"
    void Form_MouseDown();  // dragging the window by its surface
    void Command3_Click();  // "Minimize"
    void Command5_Click();  // "Quit + Save"
    // Closes the window however asked: saves and ends the program. Runs once.
    // A save that fails is offered again until it succeeds or the user
    // cancels; not at the end of the Windows session, which waits for no one.
    void unload(bool session_end = false);

    // ---- what the backend reads and the window's events it hands over ----
    const std::vector<Control*>& window_controls() const override { return controls(); }
    platform::Bounds window_bounds() const override;
    std::uint32_t window_back_color() const override { return back_color(); }
    Control* window_focus() const override { return focus(); }
    bool press_activates(const Control& control) const override;
    void on_focus(Control* control) override { set_focus(control); }
    void on_mouse_down() override { Form_MouseDown(); }
    void on_moved(float left, float top) override { window_moved(left, top); }
    void on_close() override { unload(); }
    void on_end_session() override { unload(true); }
    // Once the monitors have settled, and not while the user moves the
    // window, the window and the home position are kept within reach.
    void display_changed() override;
    // Back to the panel view from the editing view.
    void on_second_start() override;

    // ---- the parts of the program ----------------------------------------
    MenuNotices notices;
    ConfigFile config;
    // Each click's number, and its outcome beside its button.
    ClickBalloons balloons;
    Dispatch dispatch;
    PanelLayout layout;
    PanelEditing editing;
    StatusMonitor monitor;
    // The handover's connection to Aurora's access, and the panel's: a click
    // never waits behind the panel's refresh, nor fails for its faults.
    AuroraLink aurora_link;
    AuroraLink aurora_refresh_link;
    // The handover in Aurora where no IvAc window exists.
    AuroraClient aurora;
    UpdateScheduler scheduler;
    InetControl Inet1;  // the status index
    // Fetches the current feed when the index path yields no client.
    InetControl feed_inet;
    // Created by the first status download.
    MyInet& my_inet() { return monitor.my_inet(); }
    // The stations Aurora lists now, and the panel's use of them (an
    // extension).
    AuroraCurrentList aurora_list;
    AuroraPanel aurora_panel;

    // Shorthands for the operations of the parts.
    void collapse() { layout.collapse(); }
    void loadconfig() { config.loadconfig(); }
    void saveconfig() { config.saveconfig(); }
    void getwhazz() { monitor.getwhazz(); }
    void checkwhazz() { monitor.checkwhazz(); }

private:
    // The save of the unload; with `ask`, a failure is put to the user.
    void save_at_unload(bool ask);
    void display_settled();
    // Moves an unreachable home position onto the nearest monitor.
    void keep_home_reachable(const platform::Desktop& desktop);
    void wire_events();

    platform::Platform& platform_;
    // The display timer: the rule runs once display changes have settled.
    Timer display_timer_{platform_, "display", kDisplaySettleMs};
};

}  // namespace tovira
