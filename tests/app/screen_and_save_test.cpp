// The views kept on a short or scaled screen without moving the home
// position, and the table saved when the editing view closes.
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using ScreenAndSaveTest = SimTest;

// A 1080-line screen at 200 %, where both views are 1080 pixels high, on a 1040-pixel work area.
TEST_F(ScreenAndSaveTest, ViewsLieOnTheScreenAndTheHomeStaysTheUsers) {
    sim.monitors = {7.5f, {{{0, 0, 1920, 1040}, 7.5f}}};
    ConfigLines c;
    c[63] = " 720 ";  // 100 pixels down
    c[64] = " 720 ";
    write_config(c.text());
    start();
    EXPECT_EQ(sim.window.top, 0) << "the panel's top at the work area's top";
    EXPECT_EQ(sim.window.left, 720);
    EXPECT_EQ(sim.window.height, 8100) << "moved, not resized";
    form->Command2->click();  // "Menu": the editing view, also at the top
    EXPECT_EQ(sim.window.top, 0);
    EXPECT_EQ(form->hometop, 720) << "recorded as the user left it";
    form->Command3->click();
    EXPECT_EQ(sim.window.top, 0);
    // The scale goes back to 100 %: the panel returns to its place.
    sim.change_desktop(sim.now() + 10, {15, {{{0, 0, 1920, 1040}, 15}}});
    sim.run_for(1000);
    EXPECT_EQ(sim.window.top, 720);
    sim.change_desktop(sim.now() + 10, {7.5f, {{{0, 0, 1920, 1040}, 7.5f}}});
    sim.run_for(1000);
    EXPECT_EQ(sim.window.top, 0);
    form->on_close();  // not "Quit + Save": the window's own place is saved
    EXPECT_EQ(saved_config(), c.text()) << "tq.cfg keeps the home position";
}

// "Minimize" writes what the unload would, when anything changed since the
// last write; the unload writes as before.
TEST_F(ScreenAndSaveTest, LeavingTheEditingViewSavesWhatChanged) {
    struct Case {
        const char* what;
        std::function<void(Form1&)> edit;
        bool written;
    } cases[] = {
        {"nothing changed", [](Form1&) {}, false},
        {"a name", [](Form1& f) { f.t0[3]->set_text("NEW"); }, true},
        {"a position", [](Form1& f) { f.t1[3]->set_text("EDDB_TWR"); }, true},
        {"the gap box", [](Form1& f) { f.Check4->set_value(0); }, true},
        {"a colour scheme", [](Form1& f) { f.Option4->select(); }, true},
        {"changed and changed back",
         [](Form1& f) {
             f.t0[0]->set_text("X");
             f.t0[0]->set_text("");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigLines lines;
        lines[63] = " 1500 ";
        write_config(lines.text());
        start();
        form->Command2->click();
        c.edit(*form);
        const std::string before = saved_config();
        form->Command3->click();
        const std::string after = saved_config();
        EXPECT_EQ(after != before, c.written);
        form->Command5->click();
        EXPECT_EQ(saved_config(), after) << "the same bytes as the unload's";
        EXPECT_TRUE(saved_config().find("\r\n 1500 \r\n") != std::string::npos);
    }
}

}  // namespace
}  // namespace tovira::testing
