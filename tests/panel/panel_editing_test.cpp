#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using PanelEditingTest = SimTest;

void name_slots(ConfigLines& c, std::initializer_list<int> slots) {
    for (int i : slots) c.name(i) = numbered("S", i);
}

TEST_F(PanelEditingTest, AllOnOffAlternates) {
    ConfigLines c;
    name_slots(c, {0, 5, 29});
    write_config(c.text());
    start();
    form->Command4->click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 5, 29}));
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(form->Check2[i]->value(), 1);
        EXPECT_EQ(form->slotactive.get(i), 1);
    }
    form->Command4->click();
    EXPECT_TRUE(visible_slots().empty());
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(form->Check2[i]->value(), 0);
        EXPECT_EQ(form->slotactive.get(i), 0);
        EXPECT_TRUE(form->slotactive.is_set(i));
    }
    form->Command4->click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 5, 29}));

    // Switching all on when all are already on changes nothing visible.
    form->Command4->click();
    for (int i = 0; i < kSlotCount; ++i) form->Check2[i]->set_value(1);
    form->Command4->click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 5, 29}));
}

// Leaving a field: a name by the locale's letters, a position by ASCII's,
// which the handover types, Aurora is sent and tq.cfg keeps.
TEST_F(PanelEditingTest, PositionsUpperCaseByAsciiNamesByTheLocale) {
    struct Case {
        const char* what;
        bool turkish;
        const char *typed, *name, *position, *saved;
    } cases[] = {
        {"Turkish i", true, "ltbi_twr", "LTB\xC4\xB0_TWR", "LTBI_TWR", "LTBI_TWR"},
        {"Turkish dotless i kept", true, "\xC4\xB1z", "IZ", "\xC4\xB1Z", "?Z"},
        {"western umlaut kept", false, "eddt_\xC3\xBC", "EDDT_\xC3\x9C", "EDDT_\xC3\xBC",
         "EDDT_\xFC"},
        {"already upper", true, "EDDT_TWR", "EDDT_TWR", "EDDT_TWR", "EDDT_TWR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.loc.turkish = c.turkish;
        sim.windows = {"IvAc"};
        start();
        form->t0[2]->set_text(c.typed);
        form->t1[2]->set_text(c.typed);
        form->set_focus(form->t0[2].get());
        form->set_focus(form->t1[2].get());
        form->set_focus(nullptr);
        EXPECT_EQ(form->t0[2]->text(), c.name);
        EXPECT_EQ(form->t1[2]->text(), c.position);
        EXPECT_EQ(form->monitor.station_for(2), c.position);
        const std::size_t sends = sim.sends.size();
        form->c1[2]->click();
        sim.run_for(1000);
        ASSERT_EQ(sim.sends.size(), sends + 4);
        EXPECT_EQ(sim.sends[sends + 2].text, c.position);
        form->Command5->click();
        EXPECT_NE(saved_config().find(std::string("\r\n") + c.saved + "\r\n"), std::string::npos);
        sim.fs.files.clear();
    }
}

TEST_F(PanelEditingTest, SlotBoxWritesTheFlag) {
    ConfigLines c;
    name_slots(c, {4});
    write_config(c.text());
    start();
    form->Check2[4]->user_click();
    EXPECT_EQ(form->slotactive.get(4), 1);
    EXPECT_EQ(visible_slots(), (std::vector<int>{4}));
    form->Check2[7]->user_click();  // no name: flag set, stays hidden
    EXPECT_EQ(form->slotactive.get(7), 1);
    EXPECT_EQ(form->Check2[7]->value(), 1);
    EXPECT_EQ(visible_slots(), (std::vector<int>{4}));
    form->Check2[4]->user_click();
    EXPECT_EQ(form->slotactive.get(4), 0);
    EXPECT_TRUE(visible_slots().empty());
}

TEST_F(PanelEditingTest, ShowAllBoxShowsNamedAndClearsEverything) {
    ConfigLines c;
    name_slots(c, {1, 2, 20});
    write_config(c.text());
    start();
    for (int i = 0; i < kSlotCount; ++i) form->l1[i]->set_caption("123.45");
    form->Check3->user_click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{1, 2, 20}));
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(form->Check2[i]->value(), 1);
    EXPECT_EQ(form->l1[1]->caption(), "123.45");
    form->Check3->user_click();
    EXPECT_TRUE(visible_slots().empty());
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(form->l1[i]->caption(), "");
        EXPECT_EQ(form->slotactive.get(i), 0);
        EXPECT_EQ(form->Check2[i]->value(), 0);
    }
}

TEST_F(PanelEditingTest, TypingANameFollowsKeystrokesAndUpperCasesOnLeaving) {
    start();
    form->slotactive.set(6, 1);
    form->set_focus(form->t0[6].get());
    for (const char* typed : {"t", "te", "teg"}) {
        form->t0[6]->set_text(typed);
        EXPECT_EQ(form->c1[6]->caption(), typed);
        EXPECT_TRUE(form->c1[6]->visible());
    }
    form->set_focus(form->t1[6].get());
    EXPECT_EQ(form->t0[6]->text(), "TEG");
    EXPECT_EQ(form->c1[6]->caption(), "TEG");
    form->t1[6]->set_text("eddt_twr \xC3\xBC");
    form->set_focus(nullptr);
    EXPECT_EQ(form->t1[6]->text(), "EDDT_TWR \xC3\xBC");  // a callsign: ASCII's letters only

    // Double click clears: the name hides the button, the position changes
    // nothing on the panel.
    form->t1[6]->dbl_click();
    EXPECT_EQ(form->t1[6]->text(), "");
    EXPECT_EQ(visible_slots(), (std::vector<int>{6}));
    form->t0[6]->dbl_click();
    EXPECT_EQ(form->t0[6]->text(), "");
    EXPECT_EQ(form->c1[6]->caption(), "");
    EXPECT_TRUE(visible_slots().empty());
}

TEST_F(PanelEditingTest, ExampleRowEditsTouchNoButton) {
    start();
    for (int i = 0; i < kSlotCount; ++i) form->slotactive.set(i, 1);
    form->collapse();
    const std::size_t changes = sim.control_changes;
    form->set_focus(form->t0[kExampleRow].get());
    form->t0[kExampleRow]->set_text("abc");
    form->set_focus(form->t1[kExampleRow].get());
    EXPECT_EQ(form->t0[kExampleRow]->text(), "ABC");
    form->t1[kExampleRow]->dbl_click();
    form->t0[kExampleRow]->dbl_click();
    EXPECT_EQ(form->t0[kExampleRow]->text(), "");
    EXPECT_TRUE(visible_slots().empty());
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(form->c1[i]->caption(), "");
    // Only the two fields and the focus changed.
    EXPECT_LT(sim.control_changes - changes, 10u);
}

TEST_F(PanelEditingTest, ColourSchemesPaintOnlyTheWindow) {
    start();
    struct Case {
        OptionButton* option;
        std::uint32_t colour;
    };
    for (const Case& k : {Case{form->Option5.get(), 0x004000}, Case{form->Option2.get(), 0x400000},
                          Case{form->Option3.get(), 0x404040}, Case{form->Option4.get(), 0x000000},
                          Case{form->Option1.get(), 0x000040}}) {
        k.option->select();
        EXPECT_EQ(form->back_color(), k.colour);
        EXPECT_EQ(sim.window.background, k.colour);
        EXPECT_EQ(form->c1[0]->back_color(), 0xFF00FFu);
        EXPECT_EQ(form->c1[15]->back_color(), 0x00FF00u);
        EXPECT_EQ(form->c1[29]->back_color(), 0x00FFFFu);
        EXPECT_EQ(form->Label9->back_color(), 0x000040u);
        EXPECT_TRUE(form->l1[0]->back_transparent());
        for (int n = 1; n <= 5; ++n)
            EXPECT_EQ(form->option(n).value(), &form->option(n) == k.option);
    }
    // The choice is what the file keeps.
    form->Option3->select();
    form->unload();
    ConfigLines c;
    c[65] = " 3 ";
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(PanelEditingTest, RequestPatchLightsUpWhileTheRequestRuns) {
    start();
    form->Option5->select();
    // A slow status index keeps the request waiting.
    sim.urls["http://www.ivao.aero/whazzup/status.txt"] = {2000, false, "", false};
    std::uint32_t during = 0;
    const auto clicked_at = sim.now();
    sim.at(clicked_at + 1000, [this, &during] { during = form->Label9->back_color(); });
    form->Label9->click();
    EXPECT_GE(sim.now(), clicked_at + 2000);
    EXPECT_EQ(during, 0x0000A0u);
    EXPECT_EQ(form->Label9->back_color(), 0x000040u);
    EXPECT_EQ(form->back_color(), 0x004000u);
}

}  // namespace
}  // namespace tovira::testing
