#include "monitor/feed.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "backends/sim/sim_platform.h"
#include "monitor/addresses.h"

namespace tovira {
namespace {

std::optional<std::string> convert(std::string_view json) {
    sim::SimLocale locale;
    return convert_feed(json, locale);
}

std::string read_source_file(const std::string& path) {
    std::ifstream in(std::string(TOVIRA_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- conversion ------------------------------------------------------------------

TEST(FeedTest, TheSampleGivesOneRecordPerClientInDocumentOrder) {
    const std::string sample = read_source_file("tests/data/whazzup-v2-sample.json");
    ASSERT_FALSE(sample.empty());
    EXPECT_EQ(convert(sample),
              "DLH4AB:400301:400301:PILOT::\r\n"
              "BAW91:400302:400302:PILOT::\r\n"
              "EZY12QK:400303:400303:PILOT::\r\n"
              "D-EIYD:400304:400304:PILOT::\r\n"
              "EDDT_TWR:400101:400101:ATC:124.525:\r\n"
              "EDDT_APP:400102:400102:ATC:119.625:\r\n"
              "EDDH_TWR:400103:400103:ATC:126.855:\r\n"
              "EDDM_TWR:400104:400104:ATC:118.700:\r\n"
              "EDWW_B_CTR:400105:400105:ATC:125.750:\r\n"
              "EDBB_CTR:400106:400106:ATC:127.200:\r\n"
              "LOWW_DEL:400107:400107:ATC:121.600:\r\n"
              "LFPG_N_APP:400108:400108:ATC:119.850:\r\n"
              "EHAM_W_APP:400109:400109:ATC:121.200:\r\n"
              "LIRF_TWR:400110:400110:ATC:118.700:\r\n"
              "EDDT_FM1:400401:400401:PILOT::\r\n"
              "EDGG_OBS:400201:400201:ATC::\r\n");
}

TEST(FeedTest, MissingFieldsExtraFieldsAndFieldsElsewhereAreHandledPerClient) {
    EXPECT_EQ(convert(R"({"updatedAt":"x","servers":[{"clients":{"atcs":[{"callsign":"NO"}]}}],
        "clients":{
          "atcs":[
            {"userId":1,"atcSession":{"frequency":118.1}},
            {"callsign":"A_TWR"},
            {"callsign":"B_TWR","userId":2},
            {"callsign":"C_TWR","userId":3,"atcSession":{"position":"TWR"}},
            {"callsign":"D_TWR","userId":4,"atcSession":null},
            {"flightPlan":{"callsign":"NOT_ME","userId":9},"callsign":"E_TWR","userId":5,
             "lastTrack":{"frequency":1.5},"atcSession":{"frequency":121.5,"extra":[1,{"frequency":2}]},
             "new":{"deep":[[[{"callsign":"NOT_ME_EITHER"}]]]}},
            7, "text", null, [{"callsign":"IN_AN_ARRAY"}],
            {"callsign":null,"userId":6},
            {"callsign":"F_TWR","userId":null,"atcSession":{"frequency":null}}],
          "pilots":[{"callsign":"DLH1","userId":7,"atcSession":{"frequency":122.8}}],
          "controllers":[{"callsign":"UNKNOWN_LIST","userId":8}],
          "followMe":[{"callsign":"FM","userId":10}]},
        "more":{"clients":{"pilots":[{"callsign":"NESTED"}]}}})"),
              "A_TWR:::ATC::\r\n"
              "B_TWR:2:2:ATC::\r\n"
              "C_TWR:3:3:ATC::\r\n"
              "D_TWR:4:4:ATC::\r\n"
              "E_TWR:5:5:ATC:121.500:\r\n"
              "F_TWR:::ATC::\r\n"
              "DLH1:7:7:PILOT::\r\n"
              "FM:10:10:PILOT::\r\n");
}

TEST(FeedTest, NumbersMayComeAsStringsAndStringsAsNumbers) {
    EXPECT_EQ(convert(R"({"clients":{"atcs":[
            {"callsign":"A","userId":"400101","atcSession":{"frequency":"124.525"}},
            {"callsign":"B","userId":400102,"atcSession":{"frequency":"118.7"}},
            {"callsign":"C","userId":4.5e5,"atcSession":{"frequency":122}},
            {"callsign":"D","userId":-1,"atcSession":{"frequency":"12x"}},
            {"callsign":"E","userId":18446744073709551615,"atcSession":{"frequency":"-1"}},
            {"callsign":"F","userId":1,"atcSession":{"frequency":1e300}},
            {"callsign":"G","userId":1,"atcSession":{"frequency":" 121.5"}},
            {"callsign":"H","userId":1,"atcSession":{"frequency":0.0005}},
            {"callsign":123,"userId":true}]}})"),
              "A:400101:400101:ATC:124.525:\r\n"
              "B:400102:400102:ATC:118.700:\r\n"
              "C:4.5e5:4.5e5:ATC:122.000:\r\n"
              "D:-1:-1:ATC::\r\n"
              "E:18446744073709551615:18446744073709551615:ATC::\r\n"
              "F:1:1:ATC::\r\n"
              "G:1:1:ATC::\r\n"
              "H:1:1:ATC::\r\n"
              "123:::ATC::\r\n");
}

TEST(FeedTest, OnlyAFrequencyThatRoundsToAChannelIsWritten) {
    auto field_of = [](const std::string& value) {
        return convert(R"({"clients":{"observers":[{"callsign":"X","userId":1,)"
                       R"("atcSession":{"frequency":)" +
                       value + "}}]}}")
            .value_or("?");
    };
    // 0 is a controller just connected; 199.998 and 199.999 mean "no primary
    // frequency"; 199.9996 rounds to 200.000.
    for (const char* value : {"0", "199.998", "199.999", "199.9996", "200", "-118.7", "1e300",
                              "99.999", "\"199.998\""}) {
        EXPECT_EQ(field_of(value), "X:1:1:ATC::\r\n") << value;
    }
    const std::pair<const char*, const char*> kChannels[] = {
        {"99.9996", "100.000"}, {"118", "118.000"},     {"\"118\"", "118.000"},
        {"118.705", "118.705"}, {"199.997", "199.997"}, {"199.9974", "199.997"}};
    for (const auto& [value, field] : kChannels) {
        EXPECT_EQ(field_of(value), std::string("X:1:1:ATC:") + field + ":\r\n") << value;
    }
}

TEST(FeedTest, RepeatedKeysTakeTheLastValue) {
    EXPECT_EQ(convert(R"({"clients":{"atcs":[
            {"callsign":"OLD","callsign":"NEW","userId":1,"userId":2,
             "atcSession":{"frequency":118.1},"atcSession":{"position":"X"}},
            {"callsign":"K","callsign":{"a":1},"userId":1}]}})"),
              "NEW:2:2:ATC::\r\n");
}

TEST(FeedTest, NonAsciiTextComesInTheCodePageAndBreakingCharactersDropTheClient) {
    // Windows-1252: "Ä" is C4, "é" E9; "名" has no byte and becomes "?".
    EXPECT_EQ(convert("{\"clients\":{\"atcs\":["
                      "{\"callsign\":\"\xC3\x84GGN_TWR\",\"userId\":\"\xE5\x90\x8D\","
                      "\"atcSession\":{\"frequency\":118.7}},"
                      "{\"callsign\":\"A\\u00e9\",\"userId\":1},"
                      "{\"callsign\":\"EDDT:TWR\",\"userId\":2},"
                      "{\"callsign\":\"X\\u003aY\",\"userId\":3},"
                      "{\"callsign\":\"EDDF_TWR\",\"userId\":\"4:5\"},"
                      "{\"callsign\":\"EDDH\\r\\nTWR\",\"userId\":6},"
                      "{\"callsign\":\"EDDL_TWR\",\"userId\":\"7\\n\"},"
                      "{\"callsign\":\"\",\"userId\":8},"
                      "{\"callsign\":\"LAST\",\"userId\":9}]}}"),
              "\xC4GGN_TWR:?:?:ATC:118.700:\r\n"
              "A\xE9:1:1:ATC::\r\n"
              "LAST:9:9:ATC::\r\n");
}

TEST(FeedTest, EmptyListsAndAnEmptyClientsObjectConvertToAnEmptyText) {
    EXPECT_EQ(convert(R"({"clients":{"pilots":[],"atcs":[],"observers":[],"followMe":[]}})"), "");
    EXPECT_EQ(convert(R"({"clients":{}})"), "");
    EXPECT_EQ(convert("\xEF\xBB\xBF {\"clients\":{\"atcs\":null}} \r\n"), "");
}

TEST(FeedTest, WhatIsNotTheFeedFails) {
    for (const std::string& doc : std::vector<std::string>{
             "",
             "<html><body>502 Bad Gateway</body></html>",
             "{\"clients\":{\"atcs\":[{\"callsign\":\"A\",\"userId\":1}]}",  // cut short
             "{\"clients\":{\"atcs\":[]}} trailing",
             "[{\"clients\":{}}]",
             "{\"servers\":[]}",
             "{\"clients\":null}",
             "{\"clients\":[{\"callsign\":\"A\"}]}",
             "{\"clients\":{\"atcs\":[{\"callsign\":\"\xFF\"}]}}",  // not UTF-8
             "{\"clients\":{},\"x\":1e999}",
             "{clients:{}}",
             std::string("{\"clients\":{}}\0garbage", 22),
         }) {
        EXPECT_EQ(convert(doc), std::nullopt) << doc;
    }
}

TEST(FeedTest, NestingDeepEnoughToBreakARecursiveParserIsReadOrRefusedWithoutHarm) {
    const std::size_t depth = 300'000;  // tens of megabytes of stack for a recursive parser
    const std::string deep = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_EQ(convert(R"({"clients":{"atcs":[{"callsign":"A","userId":1,"x":)" + deep +
                      R"(,"atcSession":{"frequency":121}}]},"y":)" + deep + "}"),
              "A:1:1:ATC:121.000:\r\n");
    EXPECT_EQ(convert(R"({"clients":{"atcs":[{"callsign":"A","x":)" + std::string(depth, '[')),
              std::nullopt);
    EXPECT_EQ(convert(std::string(depth, '[')), std::nullopt);
}

TEST(FeedTest, TheHookRunsAfterEverySliceAndCanStopTheConversion) {
    std::string doc = R"({"clients":{"atcs":[{"callsign":"A","userId":1}]},"pad":")";
    doc += std::string(300'000, 'x') + "\"}";
    sim::SimLocale locale;
    std::vector<std::size_t> seen;
    const auto record = [&](std::size_t consumed) {
        seen.push_back(consumed);
        return true;
    };
    EXPECT_EQ(convert_feed(doc, locale, record, 65536), "A:1:1:ATC::\r\n");
    std::vector<std::size_t> expected;
    for (std::size_t at = 65536; at < doc.size(); at += 65536) expected.push_back(at);
    expected.push_back(doc.size());
    EXPECT_EQ(seen, expected);

    // Stopped at the second slice: the conversion fails, even though what it
    // had read so far was sound.
    int calls = 0;
    EXPECT_EQ(convert_feed(
                  doc, locale, [&](std::size_t) { return ++calls < 2; }, 65536),
              std::nullopt);
    EXPECT_EQ(calls, 2);
    // A document smaller than a slice: one call, at its end.
    seen.clear();
    EXPECT_EQ(convert_feed(R"({"clients":{}})", locale, record), "");
    EXPECT_EQ(seen, std::vector<std::size_t>{14});
}

TEST(FeedTest, AClientRecordIsALineWithFiveColonsOrMore) {
    EXPECT_TRUE(has_client_record("A:1:1:PILOT::\r\n"));
    EXPECT_TRUE(has_client_record("!GENERAL\r\nEDDT_TWR:1:Jo:ATC:118.700:52:13\r\n"));
    EXPECT_TRUE(has_client_record("x\ny:::::"));
    EXPECT_FALSE(has_client_record(""));
    EXPECT_FALSE(has_client_record("<html><body>Not Found</body></html>"));
    EXPECT_FALSE(has_client_record("!GENERAL\r\nVERSION = 1\r\na:b:c:d\r\n:e\r\n"));
    EXPECT_FALSE(has_client_record("a:b:c\nd:e:f\rg:h:i:j"));
    EXPECT_FALSE(has_client_record("url0=http://status.ivao.aero/whazzup.txt\r\n"));
}

// ---- addresses from the command line ----------------------------------------------------

MonitorAddresses from(std::vector<std::string> args) {
    return addresses_from_command_line(args);
}

TEST(AddressesTest, BuiltInByDefaultWithTheFeedAsFallback) {
    const MonitorAddresses a = from({});
    EXPECT_EQ(a.status_index, status_index_url());
    EXPECT_EQ(a.feed, feed_url());
    EXPECT_EQ(feed_url(), "https://api.ivao.aero/v2/tracker/whazzup");
    EXPECT_TRUE(a.feed_fallback);
    // Unknown arguments change nothing.
    const MonitorAddresses b = from({"/x", "--feedback", "http://a/", "--status-index"});
    EXPECT_EQ(b.status_index, status_index_url());
    EXPECT_EQ(b.feed, feed_url());
    EXPECT_TRUE(b.feed_fallback);
}

TEST(AddressesTest, AnIndexOnTheCommandLineNeverFallsBackOnThePublicFeed) {
    MonitorAddresses a = from({"--status-index", "http://10.0.0.5/whazzup/status.txt"});
    EXPECT_EQ(a.status_index, "http://10.0.0.5/whazzup/status.txt");
    EXPECT_FALSE(a.feed_fallback);
    // With a feed of its own it falls back on that.
    a = from({"--status-index=http://i/s.txt", "--feed", "https://f.example/feed.json"});
    EXPECT_EQ(a.status_index, "http://i/s.txt");
    EXPECT_EQ(a.feed, "https://f.example/feed.json");
    EXPECT_TRUE(a.feed_fallback);
    // A feed alone keeps the built-in index.
    a = from({"--feed=http://127.0.0.1:8080/w"});
    EXPECT_EQ(a.status_index, status_index_url());
    EXPECT_EQ(a.feed, "http://127.0.0.1:8080/w");
    EXPECT_TRUE(a.feed_fallback);
}

TEST(AddressesTest, EmptyOrMissingValuesAreIgnoredAndTheLastValueCounts) {
    MonitorAddresses a = from({"--status-index", "--feed", "http://f/"});
    EXPECT_EQ(a.status_index, status_index_url());
    EXPECT_EQ(a.feed, "http://f/");
    EXPECT_TRUE(a.feed_fallback);
    a = from({"--status-index=", "--feed="});
    EXPECT_EQ(a.status_index, status_index_url());
    EXPECT_EQ(a.feed, feed_url());
    EXPECT_TRUE(a.feed_fallback);
    a = from({"--feed", "http://one/", "--feed", "http://two/\xC3\xA4"});
    EXPECT_EQ(a.feed, "http://two/\xC3\xA4");
}

}  // namespace
}  // namespace tovira
