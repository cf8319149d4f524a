// `Form1`, the main window: it owns every control, every window-level value
// and the parts of the program that react to them, for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "config/config_file.h"
#include "config/station_table.h"
#include "dispatch/dispatch.h"
#include "monitor/feed.h"
#include "monitor/http_client.h"
#include "monitor/inet_control.h"
#include "monitor/status_parser.h"
#include "monitor/update_scheduler.h"
#include "panel/panel_editing.h"
#include "panel/panel_layout.h"
#include "platform/platform.h"

namespace tovira {

inline constexpr char kWindowCaption[] = "Tovira";

// Fixed control IDs, so that tests and accessibility tools can address them.
namespace control_id {
inline constexpr int c1 = 1000, l1 = 1100, t0 = 1200, t1 = 1300, Check2 = 1400;
inline constexpr int CheckN = 2000, CommandN = 2100, OptionN = 2200, LabelN = 2300;
inline constexpr int Text2 = 2402, Text3 = 2403, LineN = 2500;
}  // namespace control_id

template <typename T, std::size_t N>
using ControlArray = std::array<std::unique_ptr<T>, N>;

class Form1 {
public:
    explicit Form1(platform::Platform& platform);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1();

    platform::Platform& platform() { return platform_; }

    // ---- events of the window --------------------------------------------
    // Creation: runs the creation steps, shows the window and starts the
    // timers that run from the start.
    void Form_Load();
    void Timer5_Timer();  // the start-up sequence
    void Check1_Click();
    void Form_MouseDown();
    void Command3_Click();  // "Minimize"
    void Command5_Click();  // "Quit + Save"
    // Closes the window however asked: saves and ends the program. Runs once.
    void unload();
    bool unloaded() const { return unloaded_; }
    // The user dragged the window: the backend reports where it now stands.
    void window_moved(float left, float top);
    // Keyboard focus moved to `control` (null: outside the window's fields).
    // Runs the lost-focus reaction of the field that had it.
    void set_focus(Control* control);
    Control* focus() const { return focus_; }

    // ---- the window's geometry, in twips ---------------------------------
    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void set_left(float v);
    void set_top(float v);
    void set_width(float v);
    void set_height(float v);
    bool visible() const { return visible_; }
    void show();
    void hide();
    std::uint32_t back_color() const { return back_color_; }
    void set_back_color(std::uint32_t rgb);
    const std::string& caption() const { return caption_; }

    // Every control, in creation order, for backends that mirror them.
    const std::vector<Control*>& controls() const { return controls_; }
    Control* find_control(int id) const;

    // ---- controls --------------------------------------------------------
    ControlArray<CommandButton, kSlotCount> c1;
    ControlArray<Label, kSlotCount> l1;
    ControlArray<TextBox, kFieldRows> t0;
    ControlArray<TextBox, kFieldRows> t1;
    ControlArray<CheckBox, kSlotCount> Check2;
    std::unique_ptr<CheckBox> Check1, Check3, Check4, Check5;
    std::unique_ptr<CommandButton> Command1, Command2, Command3, Command4, Command5, Command6,
        Command7, Command8;
    std::unique_ptr<OptionButton> Option1, Option2, Option3, Option4, Option5;
    std::unique_ptr<Label> Label1, Label2, Label4, Label5, Label6, Label7, Label8, Label9, Label10;
    std::unique_ptr<TextBox> Text2, Text3;
    std::unique_ptr<Line> Line2, Line3;
    std::unique_ptr<Timer> Timer4, Timer5, Timer6, Timer8;
    OptionButton& option(int n);  // Option1 to Option5

    // ---- window-level values ---------------------------------------------
    SlotFlags slotactive;
    float homeleft = 0;  // unset reads as 0
    float hometop = 0;

    // ---- the parts of the program ----------------------------------------
    ConfigFile config;
    Dispatch dispatch;
    PanelLayout layout;
    PanelEditing editing;
    StatusMonitor monitor;
    UpdateScheduler scheduler;
    InetControl Inet1;
    // Fetches the current feed when the index path yields no client.
    InetControl feed_inet;
    // Created by the first status download.
    MyInet& my_inet();

    // Shorthands for the operations of the parts.
    void collapse() { layout.collapse(); }
    void loadconfig() { config.loadconfig(); }
    void saveconfig() { config.saveconfig(); }
    void getwhazz() { monitor.getwhazz(); }
    void checkwhazz() { monitor.checkwhazz(); }

private:
    void create_controls();
    void wire_events();
    template <typename T>
    std::unique_ptr<T> make(const char* name, int index, int id);

    platform::Platform& platform_;
    std::vector<Control*> controls_;
    std::unique_ptr<MyInet> my_inet_;
    std::string caption_ = kWindowCaption;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false;
    std::uint32_t back_color_ = 0x000040;
    bool unloaded_ = false;
    Control* focus_ = nullptr;
};

}  // namespace tovira
