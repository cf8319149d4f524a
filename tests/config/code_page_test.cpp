// Texts between the code page and the core: the UTF-8 code page, files
// written before the switch to it, conversions that fail, NUL bytes.
#include <string>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using CodePageTest = SimTest;

ConfigLines stations() {
    ConfigLines c;
    c.name(0) = "BREMEN";
    c.position(0) = "EDWW_CTR";
    c.name(1) = "TEGEL";
    c.position(1) = "EDDT_TWR";
    c[65] = " 2 ";
    return c;
}

TEST_F(CodePageTest, FailedConversionAtAnyLineKeepsTheOldFileWhole) {
    const std::string old_text = stations().text();
    for (int n = 1; n <= kConfigLines + 1; ++n) {
        SCOPED_TRACE(::testing::Message() << "conversion " << n);
        sim::SimPlatform s;
        s.fs.files["tq.cfg"] = old_text;
        Form1 f(s);
        f.Form_Load();
        s.run_for(100);
        ASSERT_TRUE(f.config.loaded());
        f.t0[0]->set_text("RENAMED");
        s.loc.fail_conversion(n);
        f.unload();
        const std::string& now = s.fs.files["tq.cfg"];
        if (n <= kConfigLines) {
            EXPECT_EQ(now, old_text);
            EXPECT_EQ(s.fs.files.count("tq.cfg.new"), 0u);
        } else {
            // One conversion per line: the 70th is not part of the save.
            EXPECT_TRUE(now.starts_with("RENAMED\r\nEDWW_CTR\r\n"));
        }
    }
}

TEST_F(CodePageTest, FailedConversionWhileLoadingKeepsTheFileForTheSave) {
    const std::string old_text = stations().text();
    for (int n : {1, 4, 60, 61, 69}) {
        SCOPED_TRACE(::testing::Message() << "conversion " << n);
        sim::SimPlatform s;
        s.fs.files["tq.cfg"] = old_text;
        Form1 f(s);
        f.Form_Load();
        // The load's conversions are the first of the run.
        s.loc.fail_conversion(n);
        s.run_for(100);
        EXPECT_FALSE(f.config.loaded());
        EXPECT_TRUE(f.visible());
        f.t0[0]->set_text("EDITED");
        f.unload();
        EXPECT_EQ(s.fs.files["tq.cfg"], old_text);
    }
}

TEST_F(CodePageTest, Utf8CodePageReadsOlderWindows1252LinesAndSavesUtf8) {
    sim.loc.code_page = sim::SimLocale::kUtf8;
    ConfigLines c = stations();
    c.name(2) = "M\xFCnchen";                 // written in 1252
    c.name(3) = "Gda\xC5\x84sk";              // UTF-8
    c.name(4) = "K\xF6ln \xE2\x82\xAC \x80";  // 1252 and UTF-8 in one line
    c.position(4) = std::string(1, '\xC3');   // a UTF-8 sequence cut short
    write_config(c.text());
    start();
    EXPECT_EQ(form->t0[2]->text(), "M\xC3\xBCnchen");
    EXPECT_EQ(form->t0[3]->text(), "Gda\xC5\x84sk");
    EXPECT_EQ(form->t0[4]->text(), "K\xC3\xB6ln \xE2\x82\xAC \xE2\x82\xAC");
    EXPECT_EQ(form->t1[4]->text(), "\xC3\x83");
    EXPECT_EQ(form->c1[2]->caption(), "M\xC3\xBCnchen");
    form->unload();
    ConfigLines saved = c;
    saved.name(2) = "M\xC3\xBCnchen";
    saved.name(4) = "K\xC3\xB6ln \xE2\x82\xAC \xE2\x82\xAC";
    saved.position(4) = "\xC3\x83";
    EXPECT_EQ(saved_config(), saved.text());
}

TEST_F(CodePageTest, Windows1252SavesWhatItCannotHoldAsQuestionMarks) {
    ConfigLines c = stations();
    c.name(2) = "M\xFCnchen";
    write_config(c.text());
    start();
    EXPECT_EQ(form->t0[2]->text(), "M\xC3\xBCnchen");
    form->t0[3]->set_text(
        "\xC5\x81\xC3\xB3"
        "d\xC5\xBA");  // Łódź
    form->unload();
    c.name(3) =
        "?\xF3"
        "d?";
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(CodePageTest, NulBytesInNamesAndPositionsSurviveLoadAndSave) {
    ConfigLines c = stations();
    c.name(0) = std::string("BRE\0MEN", 7);
    c.position(0) = std::string("EDWW\0_CTR", 9);
    c.name(5) = std::string("\0", 1);
    write_config(c.text());
    start();
    EXPECT_EQ(form->t0[0]->text(), std::string("BRE\0MEN", 7));
    EXPECT_EQ(form->c1[0]->caption(), std::string("BRE\0MEN", 7));
    EXPECT_EQ(form->t1[0]->text(), std::string("EDWW\0_CTR", 9));
    EXPECT_EQ(form->t0[5]->text(), std::string("\0", 1));
    form->unload();
    EXPECT_EQ(saved_config(), c.text());
}

TEST_F(CodePageTest, Utf8CodePageFindsEveryPositionItCanSpell) {
    sim.loc.code_page = sim::SimLocale::kUtf8;
    start();
    form->t1[0]->set_text("EDDT_TWR");
    form->t1[1]->set_text("EPGD_\xC5\x81\xC3\x93");  // ŁÓ: UTF-8 spells it
    form->t1[2]->set_text("EDDM_CTR");
    form->monitor.whazztext =
        "EDDT_TWR:1:J\xC3\xBCrgen:ATC:118.700:\r\n"
        "EPGD_\xC5\x81\xC3\x93:2:Ola:ATC:119.100:\r\n"
        "EDDM_CTR:3:J\xFCrgen:ATC:127.950:\r\n";  // a name in 1252
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 1);
    EXPECT_EQ(form->c1[0]->tooltip(), "J\xC3\xBCrgen");
    EXPECT_EQ(form->slotactive[1], 1);
    EXPECT_EQ(form->l1[1]->caption(), "119.1");
    EXPECT_EQ(form->slotactive[2], 1);
    EXPECT_EQ(form->c1[2]->tooltip(), "J\xC3\xBCrgen");

    // A failing conversion costs that one position, not the others.
    sim.loc.fail_conversion(1);
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 0);
    EXPECT_EQ(form->slotactive[1], 1);
    EXPECT_EQ(form->slotactive[2], 1);
}

}  // namespace
}  // namespace tovira::testing
