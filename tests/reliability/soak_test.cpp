// Days of use in virtual time: an update every minute against a status
// server that answers, hangs or fails in turn, while a seeded user clicks
// stations, edits the table and throws the bulk switches at random moments,
// also in the middle of updates. Between events the panel's invariants must
// hold, the memory the core holds must not grow from the first day to the
// last, and the whole run must repeat exactly from its seed.
//
// The suite runs two simulated days (twice, for the repeat); TOVIRA_SOAK_DAYS
// sets a longer run: scripts/test.d/10-sanitize.sh runs seven days under the
// sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using sim::Chunk;
using sim::PeerScript;

constexpr Millis kMinute = 60000;
constexpr int kMinutesPerDay = 24 * 60;
constexpr char kStatusHost[] = "status.test.aero";
constexpr char kIndex[] = "!status\r\nurl0=http://status.test.aero/whazzup.txt\r\n";

// Memory the core holds, sampled between events.
struct Footprint {
    std::size_t whazztext = 0;  // capacity of the status text
    std::size_t fetchbuf = 0;   // capacity of the client's buffer
    std::size_t events = 0;     // events and timers queued in the loop
    std::size_t texts = 0;      // bytes of every caption and tool tip

    void max_with(const Footprint& o) {
        whazztext = std::max(whazztext, o.whazztext);
        fetchbuf = std::max(fetchbuf, o.fetchbuf);
        events = std::max(events, o.events);
        texts = std::max(texts, o.texts);
    }
};

struct SoakResult {
    std::uint64_t trace = 0;
    Footprint first_day;
    Footprint last_day;
    std::uint64_t updates = 0;
    std::size_t clicks = 0;
    std::size_t typed = 0;  // key steps sent
    int violations = 0;
    std::size_t mid_sequence = 0;  // checks that found the dispatch typing
};

class Soak {
public:
    explicit Soak(std::uint64_t seed) : rng_(seed) {}

    SoakResult run(int days) {
        sim_.windows = {"IvAc"};
        ConfigLines c;
        for (int k = 0; k < kSlotCount; ++k) {
            c.name(k) = k % 7 == 6 ? "" : numbered("S", k);
            c.position(k) = position(k);
        }
        c[66] = std::string(1, '1');
        sim_.fs.files["tq.cfg"] = c.text();
        sim_.urls[std::string(status_index_url())] = {10, false, "", false};
        form_ = std::make_unique<Form1>(sim_);
        // The servers under strain are the index path's, on every update.
        form_->monitor.addresses.feed_fallback = false;
        form_->Form_Load();
        const Millis t0 = sim_.now();  // the minute timer counts from here
        sim_.run_for(1000);

        for (int m = 0; m < days * kMinutesPerDay; ++m) {
            // Half a minute before each tick: the server's next behaviour and
            // the user's actions of the coming minute.
            const Millis from = t0 + m * kMinute + kMinute / 2;
            sim_.run_until(from);
            script_server(m);
            plan_user(from);
            // Check at top level, where no handler is under way: every
            // quarter minute, and shortly after each action, which catches
            // the dispatch in the middle of its sequence.
            for (int step = 1; step <= 4; ++step) checks_.push_back(from + step * kMinute / 4);
            std::sort(checks_.begin(), checks_.end());
            for (const Millis t : checks_) {
                sim_.run_until(t);
                check(m);
            }
            checks_.clear();
            if (m + 1 == kMinutesPerDay) result_.first_day = day_;
            if ((m + 1) % kMinutesPerDay == 0) {
                if (m + 1 == days * kMinutesPerDay) result_.last_day = day_;
                day_ = {};
            }
        }
        result_.updates = form_->monitor.updatenr;
        form_->unload();
        return result_;
    }

private:
    static std::string position(int k) {
        std::string p = "ED";
        p += static_cast<char>('A' + k % 26);
        p += "X_TWR";
        return p;
    }

    std::uint64_t pick(std::uint64_t n) { return rng_() % n; }

    // Answering, hanging and failing in turn; each with seeded detail.
    void script_server(int minute) {
        sim_.urls[std::string(status_index_url())] = {10 + static_cast<Millis>(pick(200)), true,
                                                      kIndex, false};
        PeerScript p;
        std::string body = "!GENERAL\r\n!CLIENTS\r\n";
        for (int k = 0; k < kSlotCount + 5; ++k) {
            if (pick(2)) continue;
            // One draw per statement: the order of draws inside one
            // expression would differ between compilers.
            const std::uint64_t name = pick(1000);
            const std::uint64_t mhz = 18 + pick(20);
            const std::uint64_t khz = pick(10);
            for (const std::string& part :
                 {position(k), std::string(":"), std::to_string(k), std::string(":Name "),
                  std::to_string(name), std::string(":ATC:1"), std::to_string(mhz),
                  std::string("."), std::to_string(khz), std::string("00:x:y:\r\n")})
                body += part;
        }
        const std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + body;
        const std::size_t cut = pick(answer.size());
        const Millis first = static_cast<Millis>(pick(1500));
        p.chunks = {{first, answer.substr(0, cut)},
                    {first + 1 + Millis(pick(400)), answer.substr(cut)}};
        switch (minute % 3) {
            case 0:  // answers and closes within the time-out
                p.close_after = p.chunks.back().after + 1;
                break;
            case 1:  // sends, then hangs
                p.close_after = std::nullopt;
                break;
            default:  // fails, one way or another
                switch (pick(5)) {
                    case 0: p.refuses = true; break;
                    case 1: p.resolves = false; break;
                    case 2:
                        p.reset = true;
                        p.close_after = first;
                        break;
                    case 3: sim_.urls[std::string(status_index_url())].ok = false; break;
                    default:
                        // The index server hangs past the next tick.
                        sim_.urls[std::string(status_index_url())].never = true;
                        break;
                }
        }
        sim_.peers[kStatusHost] = p;
    }

    // Up to three actions at random moments of the coming minute.
    void plan_user(Millis from) {
        const int count = static_cast<int>(pick(4));
        for (int n = 0; n < count; ++n) {
            const Millis at = from + static_cast<Millis>(pick(kMinute));
            const std::uint64_t what = pick(100);
            const int slot = static_cast<int>(pick(kSlotCount));
            const std::uint64_t arg = pick(1000);
            sim_.at(at, [this, what, slot, arg] { act(what, slot, arg); });
            checks_.push_back(at + static_cast<Millis>(pick(400)));
            // Now and then a second click soon after, also in mid-sequence.
            if (what < 45 && pick(3) == 0) {
                const Millis again = at + static_cast<Millis>(pick(400));
                const std::uint64_t arg2 = pick(1000);
                sim_.at(again, [this, arg2] { act(0, 0, arg2); });
                checks_.push_back(again + static_cast<Millis>(pick(400)));
            }
        }
    }

    void act(std::uint64_t what, int slot, std::uint64_t arg) {
        Form1& f = *form_;
        if (f.unloaded()) return;
        if (what < 45) {
            // A click on a button the user can see.
            std::vector<int> shown;
            for (int i = 0; i < kSlotCount; ++i) {
                if (f.c1[i]->visible()) shown.push_back(i);
            }
            if (shown.empty()) return;
            ++result_.clicks;
            f.c1[shown[arg % shown.size()]]->click();
        } else if (what < 60) {
            f.t0[slot]->set_text(arg % 10 == 0 ? "" : numbered("N", arg % 50));
        } else if (what < 70) {
            f.t1[slot]->set_text(arg % 10 == 0 ? "" : position(static_cast<int>(arg % 40)));
        } else if (what < 80) {
            f.Check2[slot]->user_click();
        } else if (what < 87) {
            f.Command4->click();  // ALL ON/OFF
        } else if (what < 93) {
            f.Check3->user_click();  // show all
        } else if (what < 96) {
            f.Label9->click();  // request patch
        } else if (what < 98) {
            f.Command7->click();  // manual request
        } else {
            (arg % 2 ? f.Command2 : f.Command3)->click();  // Menu, Minimize
        }
    }

    void mix(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            result_.trace ^= (v >> (8 * i)) & 0xFF;
            result_.trace *= 0x100000001B3ull;
        }
    }
    void mix(const std::string& s) {
        mix(s.size());
        for (unsigned char c : s) {
            result_.trace ^= c;
            result_.trace *= 0x100000001B3ull;
        }
    }

    void check(int minute) {
        Form1& f = *form_;
        auto fail = [&](const std::string& what) {
            if (++result_.violations <= 5) ADD_FAILURE() << "minute " << minute << ": " << what;
        };
        if (f.monitor.fetching() || f.scheduler.update_running()) fail("update still running");
        std::uint64_t shown = 0, boxes = 0, flags = 0;
        for (int i = 0; i < kSlotCount; ++i) {
            const bool named = !f.t0[i]->text().empty();
            if (f.c1[i]->caption() != f.t0[i]->text()) fail(numbered("caption of ", i));
            if (f.c1[i]->visible() != (named && f.slotactive[i] == 1))
                fail(numbered("visibility of ", i));
            if (f.Check2[i]->value() != f.slotactive[i]) fail(numbered("check box of ", i));
            shown |= std::uint64_t{f.c1[i]->visible()} << i;
            boxes |= std::uint64_t(f.Check2[i]->value() != 0) << i;
            flags |= std::uint64_t(f.slotactive[i]) << i;
        }
        // Idle, Delaying or Typing as the two timers give them; both timers
        // run only in the moment after a click that came during Typing.
        const auto state = f.dispatch.state();
        const bool t4 = f.Timer4->enabled(), t8 = f.Timer8->enabled();
        const Dispatch::State expected = t8   ? Dispatch::State::Typing
                                         : t4 ? Dispatch::State::Delaying
                                              : Dispatch::State::Idle;
        if (state != expected) fail("dispatch state");
        if (f.dispatch.dispatchstep < 0 || f.dispatch.dispatchstep > 6) fail("dispatch step");
        if (state != Dispatch::State::Idle && !f.dispatch.dispatchslot) fail("dispatch slot");
        if (state == Dispatch::State::Typing) ++result_.mid_sequence;

        mix(static_cast<std::uint64_t>(sim_.now()));
        mix(f.monitor.updatenr);
        mix(shown);
        mix(boxes);
        mix(flags);
        mix(static_cast<std::uint64_t>(state));
        for (int i = 0; i < kSlotCount; ++i) mix(f.l1[i]->caption());
        for (const auto& s : sim_.sends) {
            mix(static_cast<std::uint64_t>(s.at));
            mix(s.text);
            // Enter only ever completes F4, Down and the callsign (typed
            // from the position, which may be empty), in a row.
            if (s.text == "{ENTER}" && (recent_.size() < 3 || recent_[0] != "{F4}" ||
                                        recent_[1] != "{DOWN}" || recent_[2].starts_with('{')))
                fail("Enter after an incomplete sequence");
            if (s.target != "IvAc") fail("keys typed elsewhere");
            recent_.push_back(s.text);
            if (recent_.size() > 3) recent_.erase(recent_.begin());
        }
        result_.typed += sim_.sends.size();
        // Logs of the simulated desktop, not memory of the program.
        sim_.sends.clear();
        sim_.activations.clear();
        sim_.url_fetches.clear();

        Footprint now;
        now.whazztext = f.monitor.whazztext.capacity();
        now.fetchbuf = f.my_inet().fetchbuf.capacity();
        now.events = sim_.pending_events();
        for (const Control* c : f.controls())
            now.texts += c->caption().size() + c->tooltip().size();
        day_.max_with(now);
    }

    std::mt19937_64 rng_;
    sim::SimPlatform sim_;
    std::unique_ptr<Form1> form_;
    SoakResult result_;
    Footprint day_;
    std::vector<Millis> checks_;
    std::vector<std::string> recent_;  // the last three key steps
};

int soak_days() {
    const char* env = std::getenv("TOVIRA_SOAK_DAYS");
    const int days = env ? std::atoi(env) : 2;
    return days < 2 ? 2 : days;
}

TEST(SoakTest, DaysOfUpdatesClicksAndEditsKeepThePanelSoundAndRepeat) {
    const int days = soak_days();
    constexpr std::uint64_t kSeed = 0x7A11'50AC;
    const SoakResult a = Soak(kSeed).run(days);
    std::printf(
        "soak: %d day(s), %llu updates, %zu clicks, %zu key steps, %zu checks mid-sequence, "
        "trace %016llx\n",
        days, static_cast<unsigned long long>(a.updates), a.clicks, a.typed, a.mid_sequence,
        static_cast<unsigned long long>(a.trace));
    std::printf("soak: first day max: text %zu, buffer %zu, events %zu, captions %zu\n",
                a.first_day.whazztext, a.first_day.fetchbuf, a.first_day.events, a.first_day.texts);
    std::printf("soak: last day max:  text %zu, buffer %zu, events %zu, captions %zu\n",
                a.last_day.whazztext, a.last_day.fetchbuf, a.last_day.events, a.last_day.texts);
    EXPECT_EQ(a.violations, 0);
    // Every answering minute updates; hanging and failing ones count too.
    EXPECT_GT(a.updates, static_cast<std::uint64_t>(days * kMinutesPerDay / 2));
    EXPECT_GT(a.typed, 0u);
    EXPECT_GT(a.mid_sequence, 0u);

    // Nothing grows with the days: the last day stays within the first
    // day's peaks (with room for the random table and server contents).
    EXPECT_LE(a.last_day.whazztext, 2 * a.first_day.whazztext + 4096);
    EXPECT_LE(a.last_day.fetchbuf, 2 * a.first_day.fetchbuf + 4096);
    EXPECT_LE(a.last_day.events, a.first_day.events + 8);
    EXPECT_LE(a.last_day.texts, 2 * a.first_day.texts);

    // The same seed gives the same run, event for event.
    const SoakResult b = Soak(kSeed).run(days);
    EXPECT_EQ(b.trace, a.trace);
    EXPECT_EQ(b.updates, a.updates);
    const SoakResult c = Soak(kSeed + 1).run(1);
    EXPECT_NE(c.trace, a.trace);
}

}  // namespace
}  // namespace tovira::testing
