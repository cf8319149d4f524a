#include "monitor/status_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

// ---- the status index ----------------------------------------------------------

TEST(FindStatusServerTest, TakesTheFirstUrlLineFromTheSecondLineOn) {
    const StatusServer s = find_status_server(
        "url0=http://first.aero/never\r\nmsg0=x\r\nurl1=http://www.ivao.aero/whazzup.txt\r\n"
        "url0=http://other.aero/x\r\n");
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.host, "www.ivao.aero");
    EXPECT_EQ(s.path, "/whazzup.txt");

    // Only in the first line, or in an index with LF line ends: none.
    EXPECT_FALSE(find_status_server("url0=http://first.aero/x\r\nmsg0=y\r\n").found);
    EXPECT_FALSE(find_status_server("msg0=x\nurl0=http://www.ivao.aero/w.txt\n").found);
    EXPECT_FALSE(find_status_server("").found);
    // "url" is case-sensitive.
    EXPECT_FALSE(find_status_server("x\r\nURL0=http://www.ivao.aero/w.txt").found);
}

TEST(FindStatusServerTest, CutsTheHostAtCharacterThirteenAndTheFirstAero) {
    // A two-digit key shifts the host by one: it starts with the last "/".
    StatusServer s = find_status_server("x\r\nurl10=http://www.ivao.aero/w.txt");
    EXPECT_EQ(s.host, "/www.ivao.aero");
    EXPECT_EQ(s.path, "/w.txt");
    // The first "aero" ends the host, wherever it is.
    s = find_status_server("x\r\nurl0=http://aerodata.aero/w.txt");
    EXPECT_EQ(s.host, "aero");
    EXPECT_EQ(s.path, "data.aero/w.txt");
    // No "aero", or none after the scheme: no host; later url lines are not tried.
    s = find_status_server("x\r\nurl0=http://www.ivao.org/w.txt\r\nurl1=http://a.aero/w");
    EXPECT_FALSE(s.found);
    EXPECT_EQ(s.host, "");
    EXPECT_EQ(s.path, "");
    EXPECT_FALSE(find_status_server("x\r\nurlaero=http://www.ivao.org/w").found);
}

// ---- the key search --------------------------------------------------------------

std::vector<std::size_t> naive_first(const std::vector<std::string>& keys,
                                     const std::string& text) {
    auto lower = [](std::string s) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        return s;
    };
    const std::string t = lower(text);
    std::vector<std::size_t> out;
    for (const auto& k : keys) out.push_back(k.empty() ? std::string::npos : t.find(lower(k)));
    return out;
}

TEST(KeySearchTest, FindsTheFirstOccurrenceOfEveryKeyIgnoringCase) {
    const std::vector<std::string> keys = {
        "EDDT_TWR:", "DDT_TWR:", "eddf_app:", "EDDT_TWR:", "EDDM_GND:", "", "EDDT_TWR :"};
    const std::string text = "ab:eddf_APP:x\r\nEDDT_TWR:1:n:ATC:118.700:\r\nEDDF_APP:";
    const auto first = KeySearch(keys).find_first(text);
    EXPECT_EQ(first, (std::vector<std::size_t>{15, 16, 3, 15, std::string::npos, std::string::npos,
                                               std::string::npos}));
}

TEST(KeySearchTest, AgreesWithAPlainSearchOnRandomTexts) {
    std::mt19937 rng(12345);
    const std::string alphabet = "aAbB:_\xe4\xc4";
    auto random_text = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<std::string> keys;
        const int count = 1 + static_cast<int>(rng() % 30);
        const bool colon_keys = round % 2 == 0;  // the fast path and the general one
        for (int k = 0; k < count; ++k) {
            // Mostly keys of two bytes or more, which the block scan needs.
            std::string key = random_text((colon_keys && round % 4 != 0 ? 1 : 0) + rng() % 4);
            if (colon_keys) key += ':';
            keys.push_back(key);
        }
        const std::string text = random_text(rng() % 200);
        ASSERT_EQ(KeySearch(keys).find_first(text), naive_first(keys, text)) << round;
    }
}

TEST(KeySearchTest, AgreesWithAPlainSearchForKeysOfEveryByte) {
    // The table has a column per distinct folded byte of the keys: here all
    // of them (230 and the column of bytes in no key), and texts with bytes
    // that are in no key.
    std::mt19937 rng(777);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> keys;
        if (round == 0) {
            std::string every;
            for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
            keys.push_back(every);
        }
        const int count = 1 + static_cast<int>(rng() % 40);
        for (int k = 0; k < count; ++k) {
            std::string key;
            const std::size_t n = rng() % 6;
            for (std::size_t i = 0; i < n; ++i)
                key += static_cast<char>(rng() % (round % 2 ? 256 : 8));
            keys.push_back(key);
        }
        std::string text;
        const std::size_t n = rng() % 300;
        for (std::size_t i = 0; i < n; ++i) {
            // Pieces of keys, upper-cased at times, between random bytes.
            if (rng() % 3 == 0) {
                std::string piece = keys[rng() % keys.size()];
                if (rng() % 2) {
                    for (char& c : piece) {
                        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                    }
                }
                text += piece;
            } else {
                text += static_cast<char>(rng() % 256);
            }
        }
        ASSERT_EQ(KeySearch(keys).find_first(text), naive_first(keys, text)) << round;
    }
}

// ---- records ------------------------------------------------------------------------

TEST(ReadRecordTest, ReadsNameAndFrequencyAndCutsOnlyTrailingZerosFromTheSixthCharacter) {
    const std::string text = "EDDT_TWR:1:Jo Doe:ATC:118.700:52:";
    StationRecord r = read_record(text, 0);
    EXPECT_TRUE(r.online);
    EXPECT_EQ(r.name, "Jo Doe");
    EXPECT_EQ(r.frequency, "118.7");
    // Field 4 as written, and as shown. An 8.33 kHz channel such as 118.705
    // must never read as another channel (118.7 is 118.700).
    const std::pair<std::string, std::string> kShown[] = {
        {"118.700", "118.7"},
        {"118.70", "118.7"},
        {"118.7000", "118.7"},
        {"118.000", "118.0"},
        {"122.80000", "122.8"},
        {"18.5000", "18.50"},
        {"118.705", "118.705"},
        {"120.805", "120.805"},
        {"118.7050", "118.7050"},
        {"118.7001", "118.7001"},
        {"118.750", "118.750"},
        {"199.998", "199.998"},
        {"118.70 ", "118.70 "},
        {"118.7", "118.7"},
        {"121.5", "121.5"},
        {"118.0", "118.0"},
        {"", ""},
        {"1180.000", "1180."},
    };
    for (const auto& [field, shown] : kShown) {
        EXPECT_EQ(read_record("X:1:n:A:" + field + ":", 0).frequency, shown) << field;
    }
    // The fields run on through line ends.
    r = read_record("X:1\r\nY:n:A:122.800:", 0);
    EXPECT_EQ(r.name, "n");
    EXPECT_EQ(r.frequency, "122.8");
}

TEST(ReadRecordTest, AShortRecordAtTheEndIsOnlineWithTheFieldsThatAreThere) {
    StationRecord r = read_record("EDDT_TWR:1:Jo:ATC:118.7", 0);
    EXPECT_TRUE(r.online);
    EXPECT_EQ(r.name, "Jo");
    EXPECT_EQ(r.frequency, "");
    r = read_record("EDDT_TWR:1:Jo", 0);
    EXPECT_TRUE(r.online);
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(r.frequency, "");
}

// ---- checkwhazz ----------------------------------------------------------------------

class CheckwhazzTest : public SimTest {
protected:
    void SetUp() override { create(); }
    void positions(const std::vector<std::string>& p) {
        for (std::size_t i = 0; i < p.size(); ++i) form->t1[i]->set_text(p[i]);
    }
};

TEST_F(CheckwhazzTest, MatchesTailsLowerCaseAndNotTrailingBlanks) {
    positions({"DDT_TWR", "eddf_app", "EDDT_TWR ", "EDDM_GND", "", "EDDT_TWR"});
    form->monitor.whazztext = status_file(
        {client("EDDT_TWR", "Jo Doe", "118.700"), client("EDDF_APP", "Al Bee", "120.805")});
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 1);
    EXPECT_EQ(form->l1[0]->caption(), "118.7");
    EXPECT_EQ(form->c1[0]->tooltip(), "Jo Doe");
    EXPECT_EQ(form->slotactive[1], 1);
    EXPECT_EQ(form->l1[1]->caption(), "120.805");
    EXPECT_EQ(form->c1[1]->tooltip(), "Al Bee");
    EXPECT_EQ(form->slotactive[2], 0);
    EXPECT_EQ(form->slotactive[3], 0);
    EXPECT_EQ(form->slotactive[4], 0);
    EXPECT_EQ(form->slotactive[5], 1);
    EXPECT_EQ(form->slotactive[6], 0);
}

TEST_F(CheckwhazzTest, AliasesEdbbNorthToEdbbOnlyWhenItIsMissing) {
    positions({"EDBB_N_CTR", "edbb_n_ctr"});
    form->monitor.whazztext = status_file({client("EDBB_CTR", "Bea", "126.650")});
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 1);
    EXPECT_EQ(form->c1[0]->tooltip(), "Bea");
    EXPECT_EQ(form->l1[0]->caption(), "126.650");
    EXPECT_EQ(form->slotactive[1], 0);  // the alias key compares with case

    form->monitor.whazztext =
        status_file({client("EDBB_CTR", "Bea", "126.650"), client("EDBB_N_CTR", "Nor", "129.575")});
    form->checkwhazz();
    EXPECT_EQ(form->c1[0]->tooltip(), "Nor");
    EXPECT_EQ(form->slotactive[1], 1);
}

TEST_F(CheckwhazzTest, OfflineKeepsTheToolTipAndAnEmptiedPositionKeepsEverything) {
    positions({"EDDT_TWR", "EDDF_APP"});
    form->monitor.whazztext =
        status_file({client("EDDT_TWR", "Jo", "118.705"), client("EDDF_APP", "Al", "120.800")});
    form->checkwhazz();
    EXPECT_EQ(form->l1[0]->caption(), "118.705");

    form->t1[1]->set_text("");
    form->monitor.whazztext = status_file({});
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 0);
    EXPECT_EQ(form->l1[0]->caption(), "");
    EXPECT_EQ(form->c1[0]->tooltip(), "Jo");
    EXPECT_EQ(form->slotactive[1], 0);
    EXPECT_EQ(form->l1[1]->caption(), "120.8");
    EXPECT_EQ(form->c1[1]->tooltip(), "Al");
}

TEST_F(CheckwhazzTest, ConvertsBetweenTheCodePageAndTheControlsText) {
    positions({"EDDT_T\xC3\x9C", "EDDT_\xCE\xA9"});  // Ü; and an Omega cp1252 lacks
    form->monitor.whazztext = "EDDT_T\xDC:1:J\xFCrgen:ATC:118.700:\r\nEDDT_?:1:Q:ATC:119.100:\r\n";
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 1);
    EXPECT_EQ(form->c1[0]->tooltip(), "J\xC3\xBCrgen");
    EXPECT_EQ(form->slotactive[1], 0);
}

TEST_F(CheckwhazzTest, AStationOnlyAtTheVeryEndOfAShortFileIsOnline) {
    positions({"EDDT_TWR"});
    form->monitor.whazztext = "x:y\r\nEDDT_TWR:1:Jo";
    form->checkwhazz();
    EXPECT_EQ(form->slotactive[0], 1);
    EXPECT_EQ(form->l1[0]->caption(), "");
}

}  // namespace
}  // namespace tovira::testing
