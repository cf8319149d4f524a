// What the user is told when Tovira cannot keep their stations or reach the
// network at all: the folder's write test and the VirtualStore copy at
// start-up, the question when the save fails at the unload, and the network
// helper that security software keeps from starting.
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

constexpr char kDesignTip[] = "Configure the buttons and ATC positions";
constexpr char kCfgRefused[] = "tq.cfg cannot be saved in C:\\Tovira: Access is denied (error 5)";
constexpr char kCfgNotice[] =
    "tq.cfg cannot be saved in C:\\Tovira: Access is denied (error 5). Move Tovira to a folder you "
    "can write to";
constexpr char kStore[] = "C:\\Users\\pilot\\AppData\\Local\\VirtualStore\\Tovira";

class NoticesTest : public SimTest {
protected:
    static std::string table_named(const std::string& name) {
        ConfigLines c;
        c.name(0) = name;
        c.position(0) = "EDDT_TWR";
        return c.text();
    }
    static std::vector<sim::Balloon> menu_balloons(const sim::SimPlatform& s, const Form1& f) {
        std::vector<sim::Balloon> out;
        for (const auto& b : s.balloons) {
            if (b.control_id == f.Command2->id()) out.push_back(b);
        }
        return out;
    }
    std::vector<sim::Balloon> menu_balloons() const { return menu_balloons(sim, *form); }
};

// ---- tq.cfg at start-up ------------------------------------------------------------

TEST_F(NoticesTest, StartUpRuleForTheFolderAndTheRedirectedCopy) {
    const std::string kept = std::string(kCfgRefused) + ". It is kept in " + kStore + " instead";
    struct Case {
        const char* name;
        bool beside;        // tq.cfg beside the program
        bool redirected;    // a copy in the VirtualStore
        bool read_only;     // the folder refuses writes
        bool store;         // this system has a VirtualStore
        const char* table;  // the name of slot 0 after start-up
        std::string notice;
    };
    const Case cases[] = {
        {"writable", true, false, false, true, "BESIDE", ""},
        {"not writable: saved in the VirtualStore", true, false, true, true, "BESIDE", kept},
        {"not writable, no VirtualStore", true, false, true, false, "BESIDE", kCfgNotice},
        {"missing with a redirected copy", false, true, false, true, "REDIRECTED", ""},
        {"missing with a redirected copy, not writable", false, true, true, true, "REDIRECTED",
         kept},
        {"both present: the one beside wins", true, true, false, true, "BESIDE", ""},
        {"both present, not writable: the redirected one wins", true, true, true, true,
         "REDIRECTED", kept},
        {"neither", false, false, false, true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimPlatform s;
        if (c.beside) s.fs.files["tq.cfg"] = table_named("BESIDE");
        if (c.redirected) s.fs.redirected["tq.cfg"] = table_named("REDIRECTED");
        s.fs.read_only = c.read_only;
        if (!c.store) s.fs.store_name.clear();
        Form1 f(s);
        s.attach(f);
        f.Form_Load();
        s.run_for(100);
        for (int i = 0; i < 100 && !f.visible(); ++i) s.run_for(1000);
        ASSERT_TRUE(f.visible());
        EXPECT_EQ(s.fs.probes, 1);
        EXPECT_EQ(f.t0[0]->text(), c.table);
        const std::vector<sim::Balloon> notices = menu_balloons(s, f);
        if (!c.notice.empty()) {
            ASSERT_EQ(notices.size(), 1u);
            EXPECT_EQ(notices[0].text, c.notice);
            EXPECT_EQ(notices[0].shown_ms, 10000);
            EXPECT_EQ(f.Command2->tooltip(), std::string(kDesignTip) + "\n" + c.notice);
        } else {
            EXPECT_TRUE(notices.empty());
            EXPECT_EQ(f.Command2->tooltip(), kDesignTip);
        }
        // The tool tip keeps it for the whole run, updates and all.
        s.run_for(3 * 60000);
        EXPECT_EQ(f.Command2->tooltip() != kDesignTip, !c.notice.empty());
        // The table goes beside the program where the folder takes it, else
        // into the VirtualStore, whichever file it came from.
        f.t1[0]->set_text("SAVED");
        const std::string redirected_before = s.fs.redirected["tq.cfg"];
        f.unload();
        const bool to_store = c.read_only && c.store;
        const std::string saved = to_store ? s.fs.redirected["tq.cfg"] : s.fs.files["tq.cfg"];
        if ((c.beside || c.redirected) && (to_store || !c.read_only)) {
            EXPECT_TRUE(saved.starts_with(std::string(c.table) + "\r\nSAVED\r\n")) << saved;
        }
        if (!to_store) {
            EXPECT_EQ(s.fs.redirected["tq.cfg"], redirected_before);
        }
        EXPECT_TRUE(s.questions.empty() || (c.read_only && !c.store));
    }
}

// ---- tq.cfg at the unload -----------------------------------------------------------

TEST_F(NoticesTest, FailedSaveAtTheUnloadAsksUnlessTheSessionEnds) {
    struct Case {
        const char* name;
        int how;  // 0 "Quit + Save", 1 closing the window, 2 end of the session
        std::vector<bool> answers;
        std::size_t questions;
        bool in_store = false;  // saved in the VirtualStore, which refuses too
    };
    const Case cases[] = {
        {"Quit + Save, Cancel", 0, {false}, 1},
        {"Quit + Save, Retry then Cancel", 0, {true, false}, 2},
        {"closing the window, Retry twice then Cancel", 1, {true, true, false}, 3},
        {"end of the session: tried once, nothing asked", 2, {true}, 0},
        {"in the VirtualStore, Retry then Cancel", 0, {true, false}, 2, true},
    };
    const std::string old_text = table_named("OLD");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimPlatform s;
        s.fs.files["tq.cfg"] = old_text;
        s.fs.read_only = c.in_store;
        Form1 f(s);
        s.attach(f);
        f.Form_Load();
        s.run_for(2000);
        ASSERT_TRUE(f.visible());
        f.t0[0]->set_text("EDITED");
        s.fs.read_only = true;
        s.fs.store_read_only = true;
        s.answers = c.answers;
        if (c.how == 0) f.Command5->click();
        if (c.how == 1) f.on_close();
        if (c.how == 2) s.end_session();
        EXPECT_EQ(s.questions.size(), c.questions);
        for (const auto& q : s.questions) {
            const std::string folder = c.in_store ? kStore : "C:\\Tovira";
            EXPECT_TRUE(q.text.starts_with("tq.cfg cannot be saved in " + folder +
                                           ": Access is denied (error 5)."))
                << q.text;
        }
        // Cancel ends the program as before, the file untouched.
        EXPECT_TRUE(s.quit_requested);
        EXPECT_EQ(s.fs.files["tq.cfg"], old_text);
        EXPECT_EQ(s.fs.files.count("tq.cfg.new"), 0u);
        EXPECT_TRUE(s.fs.redirected.empty());
    }
}

TEST_F(NoticesTest, RetryThatSucceedsWritesExactlyTheTable) {
    write_config(table_named("OLD"));
    start();
    form->t0[0]->set_text("EDITED");
    // What a save writes where nothing fails.
    form->saveconfig();
    const std::string expected = saved_config();
    ASSERT_TRUE(expected.starts_with("EDITED\r\n"));
    write_config(table_named("OLD"));

    sim.fs.read_only = true;
    sim.answers = {true};
    sim.answer_ms = 4000;
    // The user makes the folder writable while the question is up.
    sim.world(sim.now() + 1000, [this] { sim.fs.read_only = false; });
    form->Command5->click();
    EXPECT_EQ(sim.questions.size(), 1u);
    EXPECT_EQ(saved_config(), expected);
    EXPECT_TRUE(sim.quit_requested);
}

TEST_F(NoticesTest, NothingOfTheCoreRunsWhileTheQuestionIsUp) {
    start();
    sim.fs.read_only = true;
    sim.answers = {true, false};
    sim.answer_ms = 90000;  // longer than a minute: the update timer would tick
    const std::size_t fetches = sim.url_fetches.size();
    // A click on a station and on the manual update while the box is up.
    sim.user_click(sim.now() + 500, *form->Command7);
    sim.user_click(sim.now() + 700, *form->c1[0]);
    form->Command5->click();
    EXPECT_EQ(sim.questions.size(), 2u);
    EXPECT_EQ(sim.url_fetches.size(), fetches);
    EXPECT_TRUE(sim.activations.empty());
    for (const auto& click : sim.clicks) EXPECT_FALSE(click.handled);
    // And nothing after the program has ended.
    sim.run_for(5000);
    EXPECT_EQ(sim.url_fetches.size(), fetches);
}

TEST_F(NoticesTest, SaveSkippedOnPurposeAsksNothing) {
    // A file that exists but cannot be read is never overwritten: no save,
    // so nothing to ask about.
    write_config(table_named("LOCKED"));
    create();
    sim.fs.fail_operation(2);  // the open, after the write test
    sim.run_for(2000);
    sim.fs.read_only = true;
    form->Command5->click();
    EXPECT_TRUE(sim.questions.empty());
    EXPECT_EQ(saved_config(), table_named("LOCKED"));
}

// ---- the network helper -----------------------------------------------------------------

// Told once, after the third failed update, beside the folder's notice in
// the tool tip; gone from it once the helper runs again.
TEST_F(NoticesTest, HelperThatCannotStartIsToldAfterThreeUpdatesAndClearedByAGoodOne) {
    constexpr char kNotice[] =
        "Tovira cannot start its network helper: Access is denied (error 5) (security software?)";
    const std::string cfg_tip = std::string(kDesignTip) + "\n" + kCfgNotice;
    sim.fs.read_only = true;
    sim.fs.store_name.clear();
    sim.helper_failure = "Access is denied (error 5)";
    start();  // the first update
    EXPECT_EQ(form->Inet1.helper_failure(), "Access is denied (error 5)");
    sim.run_for(60000);                     // the second
    EXPECT_EQ(menu_balloons().size(), 1u);  // the folder's
    sim.run_for(60000);                     // the third
    ASSERT_EQ(menu_balloons().size(), 2u);
    EXPECT_EQ(menu_balloons()[1].text, kNotice);
    EXPECT_EQ(form->Command2->tooltip(), cfg_tip + "\n" + kNotice);
    const std::size_t fetches = sim.url_fetches.size();
    sim.run_for(3 * 60000);  // more failures: no more balloons
    EXPECT_GE(sim.url_fetches.size(), fetches + 3);
    EXPECT_EQ(menu_balloons().size(), 2u);

    // The helper runs again (the network itself may still be down).
    sim.helper_failure.clear();
    sim.run_for(60000);
    EXPECT_EQ(form->Command2->tooltip(), cfg_tip);
    EXPECT_EQ(menu_balloons().size(), 2u);
}

}  // namespace
}  // namespace tovira::testing
