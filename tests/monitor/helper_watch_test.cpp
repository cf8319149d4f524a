// The network helper's notice over runs of updates: each update is a
// failed start (F), a helper that ran (R) or no fetch at all (-).
#include "monitor/helper_watch.h"

#include <gtest/gtest.h>

#include <string>

namespace tovira {
namespace {

TEST(HelperWatchTest, NoticeAfterThreeFailedUpdatesInARowOnceUntilAGoodOne) {
    struct Case {
        const char* name;
        const char* updates;
        const char* shows;  // per update: S shown, C cleared, . nothing
    };
    const Case cases[] = {
        {"three in a row", "FFF", "..S"},
        {"two then one that ran", "FFRF", "...."},
        {"no fetch breaks no run", "FF-F", "...S"},
        {"shown once, kept up to date", "FFFFF", "..SSS"},
        {"cleared by one that ran", "FFFRFF", "..SC.."},
        {"again after a clear", "FFFRFFF", "..SC..S"},
        {"a good run shows nothing", "RRR-R", "....."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HelperWatch watch;
        std::string got;
        int balloons = 0;
        bool showing = false;
        for (const char* u = c.updates; *u; ++u) {
            HelperReport report;
            report.ran = *u == 'R';
            if (*u == 'F') report.failure = "blocked";
            const HelperWatch::Action a = watch.after_update(report);
            got += a == HelperWatch::Action::Show    ? 'S'
                   : a == HelperWatch::Action::Clear ? 'C'
                                                     : '.';
            // A balloon only when the notice comes up.
            if (a == HelperWatch::Action::Show && !showing) ++balloons;
            if (a == HelperWatch::Action::Show) showing = true;
            if (a == HelperWatch::Action::Clear) showing = false;
            EXPECT_EQ(watch.shown(), showing);
        }
        EXPECT_EQ(got, c.shows);
        EXPECT_LE(balloons, 2);
    }
}

TEST(HelperWatchTest, AnUpdateWithAFailedAndARunningHelperIsGood) {
    HelperWatch watch;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(watch.after_update({true, "blocked"}), HelperWatch::Action::None);
    }
}

}  // namespace
}  // namespace tovira
