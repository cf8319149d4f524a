#include <string>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using ConfigFileTest = SimTest;

// The line `n` (1-based) of a saved file, without its CR LF.
std::string line_of(const std::string& file, int n) {
    std::size_t pos = 0;
    for (int k = 1; k < n; ++k) pos = file.find("\r\n", pos) + 2;
    return file.substr(pos, file.find("\r\n", pos) - pos);
}

bool no_option_selected(Form1& f) {
    for (int n = 1; n <= 5; ++n) {
        if (f.option(n).value()) return false;
    }
    return true;
}

TEST_F(ConfigFileTest, FirstStartWithoutFileKeepsDefaultsAndSavesSixtyNineLines) {
    start();
    for (int k = 0; k < kSlotCount; ++k) {
        EXPECT_EQ(form->t0[k]->text(), "");
        EXPECT_EQ(form->t1[k]->text(), "");
    }
    EXPECT_TRUE(no_option_selected(*form));
    EXPECT_EQ(form->back_color(), 0x000040u);
    EXPECT_EQ(form->Text2->text(), "1");
    EXPECT_EQ(form->scheduler.updatemins, 1);
    EXPECT_EQ(form->Check4->value(), 1);
    EXPECT_EQ(form->Text3->text(), "100");
    EXPECT_EQ(form->Timer4->interval(), 100u);
    EXPECT_EQ(form->Check5->value(), 0);
    EXPECT_EQ(form->dispatch.keywait, 0);
    EXPECT_EQ(form->left(), 0);
    EXPECT_EQ(form->top(), 0);

    form->unload();
    ConfigLines expected;
    expected[65] = " 0 ";  // no scheme selected
    EXPECT_EQ(saved_config(), expected.text());
    std::string sixty_empty;
    for (int i = 0; i < 60; ++i) sixty_empty += "\r\n";
    EXPECT_TRUE(saved_config().starts_with(sixty_empty + " 0 \r\n"));
}

TEST_F(ConfigFileTest, SixtyLineFileLoadsTheTableOnly) {
    ConfigLines c;
    c.name(0) = "BREMEN";
    c.position(0) = "EDWW_CTR";
    c.name(29) = "TEG";
    c.position(29) = "EDDT_TWR";
    std::string text;
    for (int n = 1; n <= 60; ++n) text += c[n] + "\r\n";
    write_config(text);
    start();
    EXPECT_EQ(form->t0[0]->text(), "BREMEN");
    EXPECT_EQ(form->c1[0]->caption(), "BREMEN");
    EXPECT_EQ(form->t1[0]->text(), "EDWW_CTR");
    EXPECT_EQ(form->t0[29]->text(), "TEG");
    EXPECT_EQ(form->t1[29]->text(), "EDDT_TWR");
    EXPECT_TRUE(no_option_selected(*form));
    EXPECT_EQ(form->Text2->text(), "1");
    EXPECT_EQ(form->Text3->text(), "100");
    EXPECT_EQ(form->homeleft, 0);
    EXPECT_EQ(form->hometop, 0);
    EXPECT_EQ(form->left(), 0);
    // The flags are still unset: nothing on the panel.
    EXPECT_TRUE(visible_slots().empty());
}

TEST_F(ConfigFileTest, SchemeLineOutsideOneToFiveStillLoadsTheRest) {
    for (const char* scheme : {" 0 ", " 6 ", "0", "6"}) {
        SCOPED_TRACE(scheme);
        sim::SimPlatform s;
        ConfigLines c;
        c[63] = " 300 ";
        c[64] = " 200 ";
        c[65] = scheme;
        c[66] = "5";
        c[67] = " 0 ";
        c[68] = "250";
        c[69] = " 1 ";
        s.fs.files["tq.cfg"] = c.text();
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        EXPECT_TRUE(no_option_selected(f));
        EXPECT_EQ(f.back_color(), 0x000040u);  // the colour it was created with
        EXPECT_EQ(f.Text2->text(), "5");
        EXPECT_EQ(f.scheduler.updatemins, 5);
        EXPECT_EQ(f.Check4->value(), 0);
        EXPECT_EQ(f.Timer4->interval(), 250u);
        EXPECT_EQ(f.dispatch.keywait, 1);
        EXPECT_EQ(f.Check5->value(), 1);
        EXPECT_EQ(f.left(), 200);
        EXPECT_EQ(f.top(), 300);
    }
}

TEST_F(ConfigFileTest, EmptySchemeLineEndsTheLoadBeforeTheHomePosition) {
    ConfigLines c;
    c[63] = " 300 ";
    c[64] = " 200 ";
    c[65] = "";
    c[66] = "5";
    c[67] = " 0 ";
    c[68] = "250";
    c[69] = " 1 ";
    write_config(c.text());
    start();
    EXPECT_EQ(form->Text2->text(), "1");
    EXPECT_EQ(form->Check4->value(), 1);
    EXPECT_EQ(form->Text3->text(), "100");
    EXPECT_EQ(form->dispatch.keywait, 0);
    // The position was applied, but the home position is unset: the panel
    // view goes to 0, 0.
    EXPECT_EQ(form->left(), 0);
    EXPECT_EQ(form->top(), 0);
}

TEST_F(ConfigFileTest, DelayLineTakesItsLeadingNumber) {
    struct Case {
        const char* line;
        unsigned interval;
        int keywait;  // line 69 holds " 1 "
    };
    // Out of range keeps the previous delay and ends the load before line 69.
    for (const Case& k :
         {Case{"250ms", 250, 1}, Case{"ms", 0, 1}, Case{" 1 2 5 ", 125, 1}, Case{"100.5", 100, 1},
          Case{"101.5", 102, 1}, Case{"70000", 100, 0}, Case{"-3", 100, 0}, Case{"65535", 65535, 1},
          Case{"99999999999999999999999999999999999999999999999999999999999999"
               "99999999999999999999999999999999999999999999999999999999999999"
               "99999999999999999999999999999999999999999999999999999999999999"
               "99999999999999999999999999999999999999999999999999999999999999"
               "99999999999999999999999999999999999999999999999999999999999999",
               100, 0}}) {
        SCOPED_TRACE(k.line);
        sim::SimPlatform s;
        ConfigLines c;
        c[68] = k.line;
        c[69] = " 1 ";
        s.fs.files["tq.cfg"] = c.text();
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        EXPECT_EQ(f.Text3->text(), k.line);
        EXPECT_EQ(f.Timer4->interval(), k.interval);
        EXPECT_EQ(f.dispatch.keywait, k.keywait);
        EXPECT_EQ(f.Check5->value(), k.keywait);
    }
}

TEST_F(ConfigFileTest, NumbersLoadWithOrWithoutTheBlanks) {
    struct Case {
        const char* gap;
        const char* keywait;
        int gap_value;
        int keywait_value;
    };
    for (const Case& k : {Case{" 1 ", "1", 1, 1}, Case{"0", " 1 ", 0, 1}, Case{"  2", "1  ", 2, 1},
                          Case{" 0 ", " 0 ", 0, 0}, Case{" 0 ", " 2 ", 0, 0}}) {
        SCOPED_TRACE(std::string(k.gap) + "|" + k.keywait);
        sim::SimPlatform s;
        ConfigLines c;
        c[67] = k.gap;
        c[69] = k.keywait;
        s.fs.files["tq.cfg"] = c.text();
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        EXPECT_EQ(f.Check4->value(), k.gap_value);
        EXPECT_EQ(f.dispatch.keywait, k.keywait_value);
        EXPECT_EQ(f.Check5->value(), k.keywait_value);
    }
}

TEST_F(ConfigFileTest, BadNumbersEndTheLoadWhereTheyStand) {
    // Gap option 3 is refused by the box: the delay is not loaded.
    ConfigLines c;
    c[67] = " 3 ";
    c[68] = "250";
    write_config(c.text());
    start();
    EXPECT_EQ(form->Check4->value(), 1);
    EXPECT_EQ(form->Text3->text(), "100");

    // A reserved number that does not fit 32 bits ends the load before the
    // position.
    sim::SimPlatform s;
    ConfigLines d;
    d[62] = " 2147483648 ";
    d[63] = " 300 ";
    s.fs.files["tq.cfg"] = d.text();
    Form1 f(s);
    f.Form_Load();
    s.run_for(100);
    EXPECT_EQ(f.config.reserved1, 0);
    EXPECT_EQ(f.top(), 0);

    // A bad left keeps the top from line 63; the home position stays unset.
    sim::SimPlatform s2;
    ConfigLines e;
    e[63] = " 300 ";
    e[64] = "x";
    s2.fs.files["tq.cfg"] = e.text();
    Form1 g(s2);
    g.Form_Load();
    s2.run_for(100);
    EXPECT_EQ(g.hometop, 0);
    EXPECT_EQ(g.top(), 0);  // the panel view went to the unset home position
}

TEST_F(ConfigFileTest, NamesKeepTheirBlanksAndTheExampleRowIsNeverStored) {
    ConfigLines c;
    c.name(0) = "  TEG  ";
    c.position(0) = " EDDT_TWR";
    c.name(1) = "   ";
    write_config(c.text());
    start();
    EXPECT_EQ(form->t0[0]->text(), "  TEG  ");
    EXPECT_EQ(form->c1[0]->caption(), "  TEG  ");
    EXPECT_EQ(form->t1[0]->text(), " EDDT_TWR");
    EXPECT_EQ(form->t0[1]->text(), "   ");
    EXPECT_EQ(form->t0[kExampleRow]->text(), "TEG_TWR");
    EXPECT_EQ(form->t1[kExampleRow]->text(), "EDDT_TWR");
    form->t0[kExampleRow]->set_text("OTHER");
    form->unload();
    EXPECT_EQ(line_of(saved_config(), 1), "  TEG  ");
    EXPECT_EQ(line_of(saved_config(), 2), " EDDT_TWR");
    EXPECT_EQ(saved_config().find("TEG_TWR"), std::string::npos);
    EXPECT_EQ(saved_config().find("OTHER"), std::string::npos);
}

TEST_F(ConfigFileTest, LineFeedOnlyFileIsOneLongName) {
    ConfigLines c;
    c.name(0) = "BREMEN";
    c[68] = "250";
    std::string text;
    for (const auto& l : c.lines) text += l + "\n";
    write_config(text);
    start();
    EXPECT_EQ(form->t0[0]->text(), text);
    EXPECT_EQ(form->t1[0]->text(), "");
    EXPECT_EQ(form->Text3->text(), "100");
    EXPECT_EQ(form->left(), 0);
}

TEST_F(ConfigFileTest, LinesAfterTheSixtyNinthAreIgnoredAndDropped) {
    ConfigLines c;
    c.name(3) = "HAM";
    c[65] = " 2 ";
    write_config(c.text() + "EXTRA\r\n 1 \r\n");
    start();
    EXPECT_EQ(form->t0[3]->text(), "HAM");
    EXPECT_TRUE(form->Option2->value());
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, CommaLocaleReadsAndWritesFractions) {
    sim.loc.separator = ',';
    ConfigLines c;
    c[63] = " 1234,5 ";
    c[64] = " 200,25 ";
    c[66] = "2";
    write_config(c.text());
    start();
    EXPECT_FLOAT_EQ(form->top(), 1234.5f);
    EXPECT_FLOAT_EQ(form->left(), 200.25f);
    EXPECT_EQ(form->Text2->text(), "2");
    form->unload();
    EXPECT_EQ(saved_config(), c.text());

    // A full stop is no separator under this locale: the load ends at line 63.
    sim::SimPlatform s;
    s.loc.separator = ',';
    ConfigLines d;
    d[63] = " 1234.5 ";
    d[66] = "2";
    s.fs.files["tq.cfg"] = d.text();
    Form1 f(s);
    f.Form_Load();
    s.run_for(100);
    EXPECT_EQ(f.Text2->text(), "1");
    EXPECT_EQ(f.top(), 0);
}

ConfigLines saved_form_file() {
    ConfigLines c;
    c.name(0) = "BREMEN";
    c.position(0) = "EDWW_CTR";
    c.name(1) = "  TEG  ";
    c.position(1) = "EDDT_TWR";
    c.name(7) = "M\xFCnchen";  // Windows-1252
    c.position(7) = "EDMM_CTR";
    c.name(29) = "\x80 Euro";
    c[61] = " 42 ";
    c[62] = "-7 ";
    c[63] = " 1500 ";
    c[64] = " 3000 ";
    c[65] = " 5 ";
    c[66] = "3";
    c[67] = " 2 ";
    c[68] = "250ms";
    c[69] = " 1 ";
    return c;
}

TEST_F(ConfigFileTest, SavedFormComesBackByteForByte) {
    const ConfigLines c = saved_form_file();
    write_config(c.text());
    start();
    EXPECT_EQ(form->config.reserved1, 42);
    EXPECT_EQ(form->config.reserved2, -7);
    EXPECT_EQ(form->t0[7]->text(), "M\xC3\xBCnchen");  // UTF-8 inside
    EXPECT_EQ(form->left(), 3000);
    EXPECT_EQ(form->top(), 1500);
    EXPECT_EQ(form->back_color(), 0x004000u);
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, SavedFormComesBackByteForByteUnderCommaLocale) {
    sim.loc.separator = ',';
    ConfigLines c = saved_form_file();
    c[63] = " 1234,5 ";
    c[64] = "-0,75 ";
    write_config(c.text());
    start();
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, NothingIsSavedWhenTheWindowUnloadsBeforeTheLoad) {
    const ConfigLines c = saved_form_file();
    write_config(c.text());
    create();
    // Due with the start-up tick: runs in its pass of pending events, after
    // the window was hidden and before the load.
    sim.at(sim.now() + 100, [this] { form->Command5->click(); });
    sim.run_for(1000);
    EXPECT_TRUE(form->unloaded());
    EXPECT_TRUE(sim.quit_requested);
    EXPECT_EQ(form->t0[0]->text(), "");
    EXPECT_EQ(saved_config(), c.text());

    // Closed at once, with no file: none is created either.
    sim::SimPlatform s;
    Form1 f(s);
    f.Form_Load();
    f.unload();
    EXPECT_EQ(s.fs.files.count("tq.cfg"), 0u);
}

TEST_F(ConfigFileTest, FileThatBreaksOffWhileReadIsNotOverwritten) {
    const ConfigLines c = saved_form_file();
    write_config(c.text());
    create();
    // The open is the first file operation of the start-up; its read fails.
    sim.fs.fail_operation(2);
    sim.run_for(100);
    EXPECT_TRUE(form->visible());
    EXPECT_FALSE(form->config.loaded());
    form->t0[0]->set_text("EDITED");
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, FileThatExistsButCannotBeOpenedIsNotOverwritten) {
    const ConfigLines c = saved_form_file();
    write_config(c.text());
    create();
    // Locked by another program: the open itself fails (after the start-up's
    // write test in the folder).
    sim.fs.fail_operation(2);
    sim.run_for(100);
    EXPECT_TRUE(form->visible());
    EXPECT_FALSE(form->config.loaded());
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, NothingIsSavedWhenClosedDuringTheStartUpDownload) {
    const ConfigLines c = saved_form_file();
    write_config(c.text());
    sim.urls["http://www.ivao.aero/whazzup/status.txt"] = {30000, false, "", false};
    create();
    bool fetching = false;
    sim.at(sim.now() + 5000, [this, &fetching] {
        fetching = sim.live_url_fetches > 0;
        form->unload();
    });
    sim.run_for(60000);
    EXPECT_TRUE(fetching);
    EXPECT_TRUE(form->unloaded());
    EXPECT_EQ(form->t0[0]->text(), "");
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(ConfigFileTest, SaveLeavesTheCompleteOldOrNewFileWhicheverStepFails) {
    ConfigLines old_file = saved_form_file();
    const std::string old_text = old_file.text();
    // The content a save writes after renaming slot 0.
    std::string new_text;
    {
        sim::SimPlatform s;
        s.fs.files["tq.cfg"] = old_text;
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        f.t0[0]->set_text("RENAMED");
        f.unload();
        new_text = s.fs.files["tq.cfg"];
        ASSERT_NE(new_text, old_text);
        EXPECT_EQ(s.fs.files.count("tq.cfg.new"), 0u);
    }
    struct Mode {
        bool all_after;
        std::size_t partial;
    };
    int saw_old = 0;
    int saw_new = 0;
    for (const Mode& m : {Mode{false, 0}, Mode{true, 0}, Mode{false, 100}, Mode{true, 100}}) {
        for (int n = 1; n <= 8; ++n) {
            SCOPED_TRACE(::testing::Message() << "operation " << n << " all_after " << m.all_after
                                              << " partial " << m.partial);
            sim::SimPlatform s;
            s.fs.files["tq.cfg"] = old_text;
            Form1 f(s);
            f.Form_Load();
            s.run_for(100);
            f.t0[0]->set_text("RENAMED");
            s.fs.fail_operation(n, m.all_after, m.partial);
            f.unload();
            ASSERT_EQ(s.fs.files.count("tq.cfg"), 1u);
            const std::string& now = s.fs.files["tq.cfg"];
            EXPECT_TRUE(now == old_text || now == new_text);
            saw_old += now == old_text;
            saw_new += now == new_text;
            // A lone failure is cleaned up; after a crash the leftover is
            // only ever the side file.
            if (!m.all_after) {
                EXPECT_EQ(s.fs.files.count("tq.cfg.new"), 0u);
            }
            for (const auto& [name, bytes] : s.fs.files) {
                EXPECT_TRUE(name == "tq.cfg" || name == "tq.cfg.new") << name;
            }
        }
    }
    EXPECT_GT(saw_old, 0);
    EXPECT_GT(saw_new, 0);
}

}  // namespace
}  // namespace tovira::testing
