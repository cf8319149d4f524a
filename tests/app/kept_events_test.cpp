// What the user does while the dispatch holds the window's events (IvAc
// slow to come forward): focus moves, typing, the end of the Windows
// session, each delivered as the Windows backend delivers it.
#include <string>

#include "monitor/addresses.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;

class KeptEventsTest : public SimTest {
protected:
    // The editing view, IvAc taking `takes` ms to come forward; a click on
    // slot 0 then holds the window's events that long.
    Millis hold_with_click(Millis takes) {
        sim.windows = {"IvAc"};
        sim.foreground = "";
        create();
        form->Timer5->set_enabled(false);
        form->loadconfig();  // no file: the first save writes one
        form->t0[0]->set_text("S0");
        form->Command2->click();  // "Menu": the editing view
        sim.activation["IvAc"].takes = takes;
        const Millis t = sim.now();
        sim.at(t + 10, [this] { form->c1[0]->click(); });
        return t;
    }
};

TEST_F(KeptEventsTest, TwoFocusMovesKeptInAWaitEndWhereTheUserPutTheFocus) {
    const Millis t = hold_with_click(500);
    // Shift+Tab twice while the click waits for IvAc.
    sim.user_focus(t + 100, *form->t1[1]);
    sim.user_focus(t + 200, *form->t0[1]);
    EXPECT_NO_THROW(sim.run_for(1000));
    EXPECT_EQ(sim.system_focus, form->t0[1].get());
    EXPECT_EQ(form->focus(), form->t0[1].get());
}

TEST_F(KeptEventsTest, ReplayedTypingLeavesTextAndCaretAsTheUserLeftThem) {
    const Millis t = hold_with_click(500);
    TextBox& field = *form->t1[2];
    sim.user_type(t + 100, field, "E");
    sim.user_type(t + 150, field, "ED");
    sim.user_type(t + 200, field, "EDD");
    sim.run_for(1000);
    EXPECT_EQ(field.text(), "EDD");
    EXPECT_EQ(sim.fields[&field].text, "EDD");
    EXPECT_EQ(sim.fields[&field].caret, 3u);
}

TEST_F(KeptEventsTest, TheEndOfTheSessionSavesKeptEditsAtOnceAndRunsNoKeptUpdate) {
    const Millis t = hold_with_click(550);
    // The minute tick falls due in the wait; its update would wait a minute
    // for a status server that never answers.
    sim.urls[std::string(status_index_url())] = {10, true, "", true};
    form->scheduler.updatemins = 1;
    form->Timer6->set_interval(200);
    sim.user_type(t + 100, *form->t0[3], "NEWNAME");
    sim.user_click(t + 120, *form->c1[0]);
    std::string saved;
    Millis ended = 0;
    sim.world(t + 300, [&] {
        ended = sim.now();
        sim.end_session();
        saved = saved_config();
    });
    sim.run_for(70 * 1000);
    EXPECT_EQ(ended, t + 300);
    EXPECT_NE(saved.find("\r\nNEWNAME\r\n"), std::string::npos) << saved.substr(0, 40);
    EXPECT_TRUE(sim.quitting());
    EXPECT_TRUE(sim.url_fetches.empty());
    EXPECT_EQ(sim.activations.size(), 1u);  // the kept click went too
    EXPECT_TRUE(sim.sends.empty());
}

// Once the session ends no fetch starts, neither the index's nor the status
// file's: the save must not wait behind them.
TEST_F(KeptEventsTest, NoFetchStartsOnceTheSessionEnds) {
    create();
    form->Timer5->set_enabled(false);
    sim.session_ending = true;
    form->Inet1.URL = std::string(status_index_url());
    EXPECT_THROW(form->Inet1.OpenURL(), FetchError);
    EXPECT_THROW(form->my_inet().OpenURL("status.test.aero", "/whazzup.txt"), SocketSetupError);
    EXPECT_TRUE(sim.url_fetches.empty());
    EXPECT_TRUE(sim.connections.empty());
}

}  // namespace
}  // namespace tovira::testing
