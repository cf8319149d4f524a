#include <algorithm>
#include <set>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using StartupTest = SimTest;

TEST_F(StartupTest, FirstStartWithoutFileShowsEmptyPanelAtOrigin) {
    start();
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(form->left(), 0);
    EXPECT_EQ(form->top(), 0);
    EXPECT_EQ(form->width(), 1290);
    EXPECT_EQ(form->height(), 8100);
    EXPECT_TRUE(visible_slots().empty());
}

TEST_F(StartupTest, CreationShowsTheDesignOnTopInBlue) {
    create();
    EXPECT_EQ(form->caption(), "Tovira");
    EXPECT_TRUE(form->visible());
    EXPECT_TRUE(sim.window.visible);
    EXPECT_TRUE(sim.window.topmost);
    EXPECT_EQ(sim.window.left, 0);
    EXPECT_EQ(sim.window.top, 0);
    EXPECT_EQ(sim.window.width, 1200);
    EXPECT_EQ(sim.window.height, 8100);
    EXPECT_EQ(sim.window.background, 0x000040u);
    EXPECT_TRUE(form->Option1->value());
    EXPECT_EQ(form->Text2->text(), "1");
    EXPECT_EQ(form->scheduler.updatemins, 1);
    EXPECT_EQ(form->Label6->caption(), "Timer was started");
    EXPECT_EQ(form->editing.alltoggle, 1);
    EXPECT_EQ(form->monitor.updatenr, 0);
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(form->l1[i]->font().name, "Arial");
        EXPECT_TRUE(form->l1[i]->font().bold);
        EXPECT_EQ(form->l1[i]->back_color(), 0x000040u);
        EXPECT_TRUE(form->l1[i]->back_transparent());
        // Design places until the first layout.
        EXPECT_EQ(form->c1[i]->top(), 480 + 240 * i);
        EXPECT_EQ(form->c1[i]->width(), 615);
        EXPECT_TRUE(form->c1[i]->visible());
    }
    EXPECT_TRUE(form->Timer5->enabled());
    EXPECT_EQ(form->Timer5->interval(), 100u);
    EXPECT_TRUE(form->Timer6->enabled());
    EXPECT_FALSE(form->Timer4->enabled());
    EXPECT_FALSE(form->Timer8->enabled());
    EXPECT_EQ(form->Check1->value(), 1);
    EXPECT_EQ(form->Check1->caption(), "Always on Top");
    EXPECT_EQ(form->Check1->tooltip(), "Always on Top");
    EXPECT_EQ(form->Command3->caption(), "Minimize");
    EXPECT_EQ(form->Command3->tooltip(), "Minimize the form");
    EXPECT_EQ(form->Command5->caption(), "Quit + Save");
    EXPECT_EQ(form->Command5->tooltip(), "Quit the program and save all data");
    EXPECT_EQ(form->Command3->font().name, "Arial");
    EXPECT_TRUE(form->Command5->font().bold);
}

TEST_F(StartupTest, StartUpLoadsHiddenThenShowsThePanelAtHome) {
    ConfigLines c;
    c.name(0) = "BREMEN";
    c.position(0) = "EDWW_CTR";
    c[63] = " 2000 ";
    c[64] = " 3000 ";
    write_config(c.text());
    create();
    // Watch the first name arrive, and what the window shows then.
    bool seen_during_load = false;
    bool visible_during_load = true;
    auto original = form->t0[0]->on_change;
    form->t0[0]->on_change = [&, original] {
        seen_during_load = true;
        visible_during_load = form->visible() || sim.window.visible;
        original();
    };
    sim.run_for(99);
    EXPECT_EQ(form->width(), 1200);  // not yet started
    sim.run_for(1);
    EXPECT_TRUE(seen_during_load);
    EXPECT_FALSE(visible_during_load);
    EXPECT_FALSE(form->Timer5->enabled());
    EXPECT_TRUE(form->visible());
    EXPECT_TRUE(sim.window.visible);
    EXPECT_EQ(sim.window.left, 3000);
    EXPECT_EQ(sim.window.top, 2000);
    EXPECT_EQ(sim.window.width, 1290);
    EXPECT_EQ(sim.window.height, 8100);
    EXPECT_EQ(form->homeleft, 3000);
    EXPECT_EQ(form->hometop, 2000);
    // The start-up sequence runs once.
    sim.run_for(10000);
    EXPECT_EQ(form->left(), 3000);
}

TEST_F(StartupTest, TabOrderRunsNameThenPositionRowByRow) {
    start();
    std::vector<Control*> order = form->controls();
    std::stable_sort(order.begin(), order.end(),
                     [](Control* a, Control* b) { return a->tab_index() < b->tab_index(); });
    std::set<int> indexes;
    for (Control* c : order) indexes.insert(c->tab_index());
    EXPECT_EQ(indexes.size(), order.size()) << "tab indexes are unique";
    for (int r = 0; r < kSlotCount; ++r) {
        EXPECT_EQ(form->t0[r]->tab_index(), 2 * r + 1);
        EXPECT_EQ(form->t1[r]->tab_index(), 2 * r + 2);
    }
    // Tab from the name of row 0 reaches its position, then the name of row 1.
    EXPECT_EQ(order[2], form->t1[0].get());
    EXPECT_EQ(order[3], form->t0[1].get());
}

TEST_F(StartupTest, AlwaysOnTopFollowsTheBox) {
    start();
    EXPECT_TRUE(sim.window.topmost);
    form->Check1->user_click();
    EXPECT_EQ(form->Check1->value(), 0);
    EXPECT_FALSE(sim.window.topmost);
    form->Check1->user_click();
    EXPECT_TRUE(sim.window.topmost);
    form->Check1->user_click();
    form->unload();
    // Not stored: the next start is on top again.
    sim::SimPlatform s;
    s.fs.files = sim.fs.files;
    Form1 f(s);
    f.Form_Load();
    EXPECT_TRUE(s.window.topmost);
}

TEST_F(StartupTest, MouseDownStartsADrag) {
    start();
    form->Form_MouseDown();
    EXPECT_EQ(sim.window.drags, 1);
}

TEST_F(StartupTest, MenuCentresAndMinimizeReturnsHome) {
    ConfigLines c;
    c[63] = " 2000 ";
    c[64] = " 3000 ";
    write_config(c.text());
    start();
    form->Command2->click();
    EXPECT_EQ(form->width(), 8200);
    EXPECT_EQ(form->height(), 8100);
    const float px_w = sim.screen.width / 15.0f;
    const float px_h = sim.screen.height / 15.0f;
    const float centred_left = (px_w - 8200.0f / 15.0f) / 2 * 15;
    const float centred_top = (px_h - 8100.0f / 15.0f) / 2 * 15;
    EXPECT_FLOAT_EQ(form->left(), centred_left);
    EXPECT_FLOAT_EQ(form->top(), centred_top);
    EXPECT_NEAR(form->left(), 10300, 0.01);
    EXPECT_EQ(form->top(), 4050);
    EXPECT_EQ(form->focus(), form->Command1.get());

    form->Command3->click();
    EXPECT_EQ(form->left(), 3000);
    EXPECT_EQ(form->top(), 2000);
    EXPECT_EQ(form->width(), 1290);
    EXPECT_EQ(form->height(), 8100);
    EXPECT_EQ(sim.window.left, 3000);
    EXPECT_EQ(sim.window.width, 1290);

    // "Menu" twice records the centred position as home.
    form->Command2->click();
    form->Command2->click();
    form->Command3->click();
    EXPECT_FLOAT_EQ(form->left(), centred_left);
    EXPECT_FLOAT_EQ(form->top(), centred_top);
    EXPECT_EQ(form->width(), 1290);

    // On another screen the centring follows its size.
    sim.screen = {19200, 12000};
    form->Command2->click();
    EXPECT_FLOAT_EQ(form->left(), (1280.0f - 8200.0f / 15.0f) / 2 * 15);
    EXPECT_FLOAT_EQ(form->top(), (800.0f - 540.0f) / 2 * 15);
}

TEST_F(StartupTest, MenuThenDragThenMinimizeJumpsBackHome) {
    ConfigLines c;
    c[63] = " 2000 ";
    c[64] = " 3000 ";
    write_config(c.text());
    start();
    form->Command2->click();
    form->window_moved(100, 200);
    form->Command3->click();
    EXPECT_EQ(form->left(), 3000);
    EXPECT_EQ(form->top(), 2000);
}

TEST_F(StartupTest, QuitAndSaveStoresHomeButOtherClosingStoresWhereItStands) {
    ConfigLines c;
    c[63] = " 2000 ";
    c[64] = " 3000 ";
    write_config(c.text());
    start();
    form->window_moved(5000, 6000);
    form->Command5->click();
    EXPECT_TRUE(form->unloaded());
    EXPECT_TRUE(sim.quit_requested);
    EXPECT_FALSE(form->Timer6->enabled());
    EXPECT_EQ(saved_config(), c.text());

    // The next start puts the panel back at home.
    sim::SimPlatform s;
    s.fs.files = sim.fs.files;
    ConfigLines dragged = c;
    dragged[63] = " 6000 ";
    dragged[64] = " 5000 ";
    {
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        EXPECT_EQ(f.left(), 3000);
        EXPECT_EQ(f.top(), 2000);
        f.window_moved(5000, 6000);
        f.unload();
        EXPECT_EQ(s.fs.files["tq.cfg"], dragged.text());
        // A second unload neither saves again nor fails.
        s.fs.files["tq.cfg"] = "x";
        f.unload();
        EXPECT_EQ(s.fs.files["tq.cfg"], "x");
    }
}

TEST_F(StartupTest, QuitFromTheEditingViewSavesTheHomePosition) {
    ConfigLines c;
    c[63] = " 2000 ";
    c[64] = " 3000 ";
    write_config(c.text());
    start();
    form->Command2->click();
    form->Command5->click();
    EXPECT_EQ(saved_config(), c.text());
}

}  // namespace
}  // namespace tovira::testing
