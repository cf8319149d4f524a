// The network helper's notice over runs of updates: each update is a
// failed start (F), a helper that ran (R), both (M) or no fetch at all (-).
#include "monitor/helper_watch.h"

#include <gtest/gtest.h>

#include <string>

namespace tovira {
namespace {

TEST(HelperWatchTest, NoticeAfterThreeFailedUpdatesInARowUntilOneThatRan) {
    struct Case {
        const char* name;
        const char* updates;
        const char* actions;  // per update: S show, C clear, . nothing
    };
    const Case cases[] = {
        {"three in a row", "FFF", "..S"},
        {"two, then one that ran", "FFRF", "...."},
        {"an update without a fetch breaks no run", "FF-F", "...S"},
        {"a failed and a running helper in one update", "FFMF", "...."},
        {"kept up to date while it lasts", "FFFFF", "..SSS"},
        {"cleared by one that ran, and again after three", "FFFRFFF", "..SC..S"},
        {"nothing while the helper runs", "RR-R", "...."},
    };
    for (const Case& c : cases) {
        HelperWatch watch;
        std::string got;
        for (const char* u = c.updates; *u; ++u) {
            const HelperReport report{*u == 'R' || *u == 'M',
                                      *u == 'F' || *u == 'M' ? "blocked" : ""};
            const HelperWatch::Action a = watch.after_update(report);
            got += a == HelperWatch::Action::Show    ? 'S'
                   : a == HelperWatch::Action::Clear ? 'C'
                                                     : '.';
        }
        EXPECT_EQ(got, c.actions) << c.name;
    }
}

}  // namespace
}  // namespace tovira
