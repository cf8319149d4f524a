// The handover under a random user and a random desktop, in virtual time.
//
// A seeded user clicks stations (also twice a few milliseconds apart, during
// the delay and during typing), confirms delays that are valid, zero, junk
// or out of range, toggles KeyWait and edits positions mid-sequence; a
// seeded desktop makes IvAc appear, vanish, come forward late or never,
// moves the foreground to this program, the desktop or a chat window, holds
// modifier keys or mouse buttons (now and then past the longest wait) and
// varies how long IvAc takes over its keys; a status
// update runs every minute against a slow server, so clicks also land in
// the HTTP client's wait. An oracle that knows only what the user did and
// what the desktop answered checks every key as it is typed:
//
// - every sequence is a prefix of F4, Down, P, Enter, P being the position
//   of the slot of the latest click that brought IvAc forward, as it stands
//   at that moment; after such a click, the next key is its F4;
// - one click, one outcome: after a click that did not bring IvAc forward
//   (it stayed behind, it is hung or elevated, or the click went to
//   Aurora) no key is typed until a click brings IvAc forward again; every
//   click that found an IvAc window and was not followed by another before
//   its outcome ends with exactly one outcome shown (its Enter typed, or
//   one balloon under its own number), and no click with two;
// - an F4 only follows such a click, once, within delay + 50 ms + the
//   activation wait (+ the time a modifier or button was held and a tick) of
//   its activation; a
//   click with a delay of 0 and no sequence running types nothing, ever;
// - a click that brought IvAc forward types its F4, and a sequence runs to
//   its Enter, unless a later click restarts it or IvAc was lost or a
//   modifier or button was held too long;
// - no key of an older sequence starts after the user made a click that
//   then brought IvAc forward: a click is dated from when it was made, not
//   from when the program got to it;
// - the desktop also opens File Explorer at IvAc's folder (titled "IvAc -
//   File Explorer"), makes IvAc hang or run elevated for a while, and
//   refuses every key for a moment (a UAC prompt);
// - keys go only to IvAc, never to Explorer; no click waits in the gate longer than the
//   longest wait; every click the user made is handled;
// - a click that finds no IvAc window goes to a simulated Aurora, which
//   answers, refuses, stays silent, closes or sends lines nobody asked for
//   at random: no transfer without such a click, at most one per click,
//   each to the station its click resolved, older clicks never after newer.
//
// TOVIRA_DISPATCH_SOAK_SEED=<n> replays one seed; TOVIRA_DISPATCH_SOAK_HOURS
// sets the simulated hours per seed.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "backends/sim/sim_aurora.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::kActivationWaitMs;
using platform::Millis;

constexpr Millis kMinute = 60 * 1000;
constexpr Millis kHour = 60 * kMinute;
constexpr char kStatusHost[] = "status.test.aero";
constexpr char kIndex[] = "!status\r\nurl0=http://status.test.aero/whazzup.txt\r\n";
constexpr Millis kMaxKeyProcessing = 200;
// The longest a click can wait in the gate: another click's activation, a
// step's return of IvAc and a KeyWait send, one after the other. A step that
// waits for held keys or buttons does not hold the window.
constexpr Millis kMaxHeld = 2 * kActivationWaitMs + kMaxKeyProcessing + 100;

// Texts confirmed in the delay field and the delay they give (-1: the
// previous delay stays).
struct DelayText {
    const char* text;
    int delay;
};
constexpr DelayText kDelays[] = {{"100", 100},  {"250", 250}, {"40", 40},    {"1", 1},
                                 {"0", 0},      {"abc", 0},   {"", 0},       {"600.5", 600},
                                 {"70000", -1}, {"-5", -1},   {"1200", 1200}};

struct SoakResult {
    int violations = 0;
    std::string first;  // the first violation, with its time
    std::size_t clicks = 0;
    std::size_t activated = 0;
    std::size_t sequences = 0;  // Enter typed
    std::size_t restarts = 0;   // F4 that cut a sequence short
    std::size_t refused = 0;
    std::size_t modifier_waits = 0;
    std::size_t transfers = 0;   // #TRTR that reached Aurora
    std::set<std::string> told;  // the dispatch's balloon texts shown
    std::uint64_t trace = 0xCBF29CE484222325ull;
};

// File Explorer open at IvAc's folder: titled like IvAc, never IvAc.
constexpr char kExplorer[] = "IvAc - File Explorer";

bool is_ivac(const std::string& title) {
    return title.starts_with("IvAc") && title != kExplorer;
}

class DispatchSoak {
public:
    explicit DispatchSoak(std::uint64_t seed) : rng_(seed) {}

    SoakResult run(Millis duration) {
        sim_.window_facts[kExplorer].image = "C:\\Windows\\explorer.exe";
        sim_.windows = {"IvAc", "Chat"};
        sim_.foreground = "IvAc";
        sim_.on_activate = [this](const std::string&, bool ok) { activated(ok); };
        sim_.on_send = [this](const sim::KeySend& s, bool typed) { sent(s, typed); };
        sim_.on_balloon = [this](const sim::Balloon& b) { balloon(b); };
        aurora_->on_line = [this](const std::string& line) { aurora_line(line); };
        sim::install_aurora(sim_, aurora_);
        form_ = std::make_unique<Form1>(sim_);
        Form1& f = *form_;
        f.Form_Load();
        f.Timer5->set_enabled(false);  // no start-up download in the way
        for (int i = 0; i < kSlotCount; ++i) {
            f.t0[i]->set_text(numbered("S", i));
            positions_[i] = "ED";
            positions_[i] += static_cast<char>('A' + i % 26);
            positions_[i] += "X_TWR";
            f.t1[i]->set_text(positions_[i]);
        }
        f.Text2->set_text("1");  // an update every minute
        // Planned a minute ahead: a wait of the program never runs past a
        // plan that is yet to be made.
        const Millis start = sim_.now();
        Millis planned = start;
        for (Millis t = start; t < start + duration;) {
            while (planned < t + 2 * kMinute) {
                planned += 1 + static_cast<Millis>(pick(3000));
                plan(planned);
            }
            t += kMinute;
            sim_.run_until(t);
            expire();
        }
        // Long enough for a step put off by the longest hold to give up.
        sim_.run_until(planned + 30 * 1000);
        expire();
        check_outcome(true);
        if (clicks_planned_ != result_.clicks)
            fail("clicks made " + std::to_string(clicks_planned_) + ", handled " +
                 std::to_string(result_.clicks));
        if (sim_.gate().held() != 0) fail("events left in the gate");
        form_->unload();
        return result_;
    }

private:
    std::uint64_t pick(std::uint64_t n) { return rng_() % n; }

    void fail(const std::string& what) {
        if (result_.violations++ == 0) {
            std::ostringstream os;
            const Form1& f = *form_;
            os << "t=" << sim_.now() << " ms: " << what << " (Timer4 " << f.Timer4->enabled() << "/"
               << f.Timer4->interval() << " ms, Timer8 " << f.Timer8->enabled() << ", step "
               << f.dispatch.dispatchstep << "); before it:";
            for (const auto& k : recent_) os << "\n  " << k;
            result_.first = os.str();
        }
    }

    // What the oracle saw last, for the report of a violation.
    void note(const std::string& what) {
        recent_.push_back(std::to_string(sim_.now()) + ": " + what);
        if (recent_.size() > 24) recent_.erase(recent_.begin());
    }

    void mix(std::uint64_t v) {
        result_.trace ^= v;
        result_.trace *= 0x100000001B3ull;
    }

    // ---- the user and the desktop ------------------------------------------

    void plan(Millis at) {
        const std::uint64_t what = pick(100);
        const int slot = static_cast<int>(pick(kSlotCount));
        if (what < 40) {
            click_at(at, slot);
            const std::uint64_t again = pick(8);
            if (again == 0) click_at(at + 1 + static_cast<Millis>(pick(20)), slot);  // double
            if (again == 1) {
                // One draw per statement: the order of draws inside one
                // expression differs between compilers.
                const Millis later = at + 1 + static_cast<Millis>(pick(400));
                click_at(later, static_cast<int>(pick(kSlotCount)));
            }
        } else if (what < 48) {
            const DelayText* d = &kDelays[pick(std::size(kDelays))];
            const bool confirm = pick(5) != 0;
            sim_.at(at, [this, d] {
                form_->Text3->set_text(d->text);
                field_ = d;
            });
            if (confirm) {
                // The Enter confirms what the field holds by then.
                sim_.at(at + 1 + static_cast<Millis>(pick(300)), [this] {
                    form_->Text3->key_press(13);
                    if (field_->delay >= 0) delay_ = field_->delay;
                    note(std::string("delay \"") + field_->text + "\" confirmed");
                });
            }
        } else if (what < 52) {
            sim_.at(at, [this] { form_->Check5->user_click(); });
        } else if (what < 60) {
            const std::uint64_t n = pick(100);
            std::string text = n < 5 ? std::string() : "ED" + std::to_string(n) + "_CTR";
            sim_.at(at, [this, slot, text] {
                form_->t1[slot]->set_text(text);
                positions_[slot] = text;
            });
        } else if (what < 68) {
            const std::uint64_t how = pick(8);
            if (how == 0) {
                // File Explorer open at IvAc's folder comes or goes.
                sim_.world(at, [this] {
                    auto& w = sim_.windows;
                    if (std::erase(w, kExplorer) == 0) w.insert(w.begin(), kExplorer);
                    if (sim_.foreground == kExplorer) sim_.foreground = "";
                });
            } else if (how <= 3) {
                // IvAc hangs, runs elevated for a while, or Windows refuses
                // every key (a UAC prompt) for a moment.
                const Millis length = how == 3 ? 20 + static_cast<Millis>(pick(400))
                                               : 500 + static_cast<Millis>(pick(8000));
                const auto set = [this, how](bool on) {
                    if (how == 3) {
                        sim_.refuse_keys = on;
                        return;
                    }
                    for (const char* title : {"IvAc", "IvAc - EDDT"}) {
                        platform::WindowFacts& f = sim_.window_facts[title];
                        if (how == 1) f.hung = on;
                        if (how == 2) {
                            f.integrity =
                                on ? platform::Integrity::Higher : platform::Integrity::NotHigher;
                        }
                    }
                };
                sim_.world(at, [set] { set(true); });
                sim_.world(at + length, [set] { set(false); });
            } else {
                // IvAc goes or comes back, under one of its two titles.
                sim_.world(at, [this] {
                    auto& w = sim_.windows;
                    if (std::any_of(w.begin(), w.end(), is_ivac)) {
                        std::erase_if(w, is_ivac);
                        if (is_ivac(sim_.foreground)) sim_.foreground = "";
                    } else {
                        w.push_back(pick(4) == 0 ? "IvAc - EDDT" : "IvAc");
                    }
                });
            }
        } else if (what < 76) {
            sim_.world(at, [this] {
                sim::ActivationScript a;
                switch (pick(6)) {
                    case 0: a.takes = 1 + static_cast<Millis>(pick(300)); break;
                    case 1: a.takes = 400 + static_cast<Millis>(pick(500)); break;
                    case 2: a.never = true; break;
                    default: break;  // at once
                }
                sim_.activation["IvAc"] = a;
                sim_.activation["IvAc - EDDT"] = a;
            });
        } else if (what < 88) {
            sim_.world(at, [this] {
                static const char* const kFront[] = {"Tovira", "", "Chat", "IvAc"};
                std::string to = kFront[pick(4)];
                if (to == "IvAc") {
                    for (const auto& w : sim_.windows)
                        if (is_ivac(w)) to = w;
                    if (to == "IvAc") to = "";
                }
                sim_.foreground = to;
            });
        } else if (what < 96) {
            if (at < modifiers_free_at_) return;
            // A transmission of a few seconds, now and then one past the
            // longest wait; or a quick press.
            const Millis length = pick(4) == 0 ? 2000 + static_cast<Millis>(pick(11000))
                                               : 10 + static_cast<Millis>(pick(1500));
            const bool button = pick(3) == 0;
            holds_.push_back({at, at + length});
            modifiers_free_at_ = at + length + 1;
            sim_.world(at,
                       [this, button] { (button ? sim_.mouse_buttons : sim_.modifiers) = true; });
            sim_.world(at + length,
                       [this, button] { (button ? sim_.mouse_buttons : sim_.modifiers) = false; });
        } else if (what < 98) {
            sim_.world(at, [this] {
                sim_.key_processing_ms = static_cast<Millis>(pick(kMaxKeyProcessing + 1));
            });
        } else {
            // Aurora changes its ways: restarted, access off, slow, silent,
            // nothing selected, an error.
            sim_.world(at, [this] {
                sim::SimAurora& a = *aurora_;
                a.access = sim::SimAurora::Access::On;
                a.answer_for.clear();
                a.close_on.clear();
                a.before.clear();
                a.traffic["DLH4CW"].assumed = a.own;
                a.selected = "DLH4CW";
                a.delay = 1 + static_cast<Millis>(pick(300));
                switch (pick(10)) {
                    case 0: a.access = sim::SimAurora::Access::Refused; break;
                    case 1: a.access = sim::SimAurora::Access::NeverAccepted; break;
                    case 2: a.answer_for["TRTR"] = ""; break;
                    case 3: a.selected.clear(); break;
                    case 4: a.traffic["DLH4CW"].assumed = "EDBB_CTR"; break;
                    case 5: a.delay = 1500 + static_cast<Millis>(pick(1000)); break;
                    case 6: a.before = "#INTERCOMPHONESTATUS;PHONE_RECEIVING\r\n"; break;
                    case 7: a.close_on = {"TRTR"}; break;
                    default: break;
                }
                sim::install_aurora(sim_, aurora_);
            });
        }
        if (what % 10 == 0) script_server();
    }

    void script_server() {
        sim_.urls[std::string(status_index_url())] = {10 + static_cast<Millis>(pick(300)), true,
                                                      kIndex, false};
        sim::PeerScript p;
        const Millis at = 50 + static_cast<Millis>(pick(2500));
        p.chunks = {{at, "HTTP/1.0 200 OK\r\n\r\n!GENERAL\r\nEDAX_TWR:1:N:ATC:118.100:x:y:\r\n"}};
        p.close_after = pick(3) == 0 ? std::nullopt : std::optional<Millis>(at + 1);
        sim_.peers[kStatusHost] = p;
    }

    void click_at(Millis at, int slot) {
        ++clicks_planned_;
        sim_.at(at, [this, at, slot] { click(at, slot); });
    }

    // ---- the oracle ---------------------------------------------------------

    struct Armed {
        Millis activated_at = 0;
        int delay = 0;
    };
    struct Interval {
        Millis from, to;
    };

    void click(Millis planned, int slot) {
        ++result_.clicks;
        // Each click handled meanwhile may have waited its whole share.
        const auto since = static_cast<Millis>(std::count_if(
            handled_.begin(), handled_.end(), [&](Millis t) { return t >= planned; }));
        if (sim_.now() - planned > kMaxHeld * (1 + since))
            fail("a click waited " + std::to_string(sim_.now() - planned) + " ms in the gate");
        handled_.push_back(sim_.now());
        if (handled_.size() > 64) handled_.erase(handled_.begin());
        expire();
        last_slot_ = slot;
        made_at_ = planned;
        note("click on " + std::to_string(slot) + " (delay " + std::to_string(delay_) +
             ", KeyWait " + std::to_string(form_->dispatch.keywait) + ", modifiers " +
             std::to_string(sim_.modifiers) + ", buttons " + std::to_string(sim_.mouse_buttons) +
             ", front \"" + sim_.foreground + "\")");
        const bool ivac = std::any_of(sim_.windows.begin(), sim_.windows.end(), is_ivac);
        if (!ivac) aurora_clicks_.push_back({slot, positions_[slot], false});
        // The click before must have shown its outcome by the time it was
        // due, unless it went to Aurora (Aurora's own part).
        check_outcome(false);
        // The number the dispatch gives this click: the next.
        current_ = ClickRec{form_->balloons.latest() + 1, slot, !ivac, 0, sim_.now()};
        if (!ivac) aurora_outcomes_[current_->id] = 0;
        ++clicking_;
        clicking_click_ = current_->id;
        form_->c1[slot]->click();
        --clicking_;
    }

    void outcome(ClickBalloons::Click id, const std::string& what) {
        note("outcome of click " + std::to_string(id) + ": " + what);
        // Aurora answers in its own time: a click that went there may tell
        // its outcome after later clicks were made, but once.
        if (const auto a = aurora_outcomes_.find(id); a != aurora_outcomes_.end()) {
            if (++a->second > 1)
                fail("click " + std::to_string(id) + " shows a second outcome: " + what);
            return;
        }
        if (!current_ || current_->id != id) {
            fail("outcome of click " + std::to_string(id) + " shown after a later click: " + what);
            return;
        }
        if (++current_->outcomes > 1)
            fail("click " + std::to_string(id) + " shows a second outcome: " + what);
    }

    void balloon(const sim::Balloon& b) {
        mix(std::hash<std::string>{}(b.text));
        const std::uint64_t told = form_->balloons.told();
        if (told == told_) return;
        told_ = told;
        result_.told.insert(b.text);
        // A transfer's "(confirming)" tells progress; its outcome follows.
        if (b.text.ends_with("(confirming)")) return;
        // An older click's outcome may join a newer click's balloon.
        outcome(form_->balloons.last_told(), "balloon \"" + b.text + "\"");
    }

    // The latest click that found an IvAc window has shown its outcome if it
    // was due (at the end of the run: always).
    void check_outcome(bool at_end) {
        if (!current_ || current_->aurora || current_->outcomes > 0) return;
        const Millis made = current_->handled;
        const Millis now = sim_.now();
        // Its activation, the longest delay, four steps that each bring IvAc
        // back and wait for it, and a hand that holds a key meanwhile.
        Millis due = made + kActivationWaitMs + 1200 +
                     4 * (kKeyStepMs + kActivationWaitMs + kMaxKeyProcessing) + 500;
        for (const Interval& h : holds_)
            if (h.to >= made && h.from <= now) due += std::min(h.to - h.from, kHeldWaitMs) + 100;
        if (at_end || now > due)
            fail("click " + std::to_string(current_->id) + " on slot " +
                 std::to_string(current_->slot) + " made at " + std::to_string(made) +
                 " showed no outcome");
    }

    void aurora_line(const std::string& line) {
        mix(std::hash<std::string>{}(line));
        if (!line.starts_with("#TRTR")) return;
        note("Aurora: " + line);
        ++result_.transfers;
        // Each transfer answers one click that found no IvAc, not yet
        // answered, to the station that click resolved: the slot's position
        // when it was clicked or as it stood when the station was chosen.
        // Clicks are answered in order: an older one never after a newer one.
        const std::string station = line.substr(13, line.size() - 14);
        for (auto c = aurora_clicks_.rbegin(); c != aurora_clicks_.rend(); ++c) {
            if (c->answered) break;
            if (upper(c->position) != station && upper(positions_[c->slot]) != station) continue;
            for (auto older = c; older != aurora_clicks_.rend(); ++older) older->answered = true;
            return;
        }
        fail("sent \"" + line + "\" without a click of its own");
    }

    static std::string upper(std::string s) {
        for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    }

    void activated(bool ok) {
        mix(ok ? 3 : 4);
        note(ok ? "activated" : "not activated");
        if (clicking_ == 0) fail("an activation without a click");
        if (!ok) {
            // The sequence under way ends here, told or not.
            live_ = false;
            restart_ = false;
            armed_.reset();
            step_ = 0;
            return;
        }
        live_ = true;
        owner_slot_ = last_slot_;
        owner_click_ = clicking_click_;
        ++result_.activated;
        for (const auto& [started, text] : typed_)
            if (started > made_at_)
                fail("\"" + text + "\" started " + std::to_string(started - made_at_) +
                     " ms after a click that then brought IvAc forward was made");
        // From here on the running sequence, if any, must not go on: the
        // next key is this click's F4.
        restart_ = true;
        armed_.reset();
        const bool typing = form_->Timer8->enabled();
        if (delay_ > 0 || typing) armed_ = Armed{sim_.now(), delay_};
    }

    Millis modifier_time(Millis from, Millis to) const {
        Millis sum = 0;
        for (const Interval& h : holds_)
            sum += std::max<Millis>(0, std::min(to, h.to) - std::max(from, h.from));
        return sum;
    }

    // Whether the dispatch had a reason to give up between `from` and `to`.
    bool excused(Millis from, Millis to) const {
        for (Millis r : refusals_)
            if (r >= from && r <= to) return true;
        for (const Interval& h : holds_)
            if (h.to - h.from >= kHeldWaitMs && h.from <= to && h.to >= from) return true;
        return false;
    }

    Millis deadline(const Armed& a, Millis now) const {
        const Millis held = modifier_time(a.activated_at, now);
        return a.activated_at + a.delay + kKeyStepMs + kActivationWaitMs + held +
               (held > 0 ? kKeyStepMs : 0);
    }

    void expire() {
        const Millis now = sim_.now();
        if (armed_ && now > deadline(*armed_, now)) {
            if (!excused(armed_->activated_at, now))
                fail("a click that brought IvAc forward typed nothing");
            armed_.reset();
            restart_ = false;
            step_ = 0;
        }
        if (step_ != 0 && !restart_ &&
            now - last_key_at_ > 2 * kKeyStepMs + kActivationWaitMs + kMaxKeyProcessing + 100 +
                                     modifier_time(last_key_at_, now)) {
            if (!excused(last_key_at_, now)) fail("a sequence ended short without cause");
            step_ = 0;
        }
    }

    void sent(const sim::KeySend& s, bool typed) {
        const Millis now = sim_.now();
        mix(static_cast<std::uint64_t>(now));
        mix(std::hash<std::string>{}(s.text));
        if (s.outcome == platform::KeysSent::Held) {
            note("\"" + s.text + "\" put off: held");
            return;
        }
        if (!typed) {
            note("refused \"" + s.text + "\", \"" + s.target + "\" in front");
            ++result_.refused;
            refusals_.push_back(now);
            return;
        }
        expire();
        if (!s.keys.empty() && !live_)
            fail("\"" + s.text + "\" typed after a click that did not bring IvAc forward");
        typed_.push_back({s.started, s.text});
        if (typed_.size() > 8) typed_.erase(typed_.begin());
        note("typed \"" + s.text + "\" into \"" + s.target + "\"");
        if (!s.keys.empty() && !is_ivac(s.target)) fail("keys typed into \"" + s.target + "\"");
        if (s.text == "{F4}") {
            if (!armed_) {
                fail("F4 that no click asked for");
            } else if (now > deadline(*armed_, now)) {
                fail("F4 " + std::to_string(now - armed_->activated_at) +
                     " ms after its activation");
            }
            if (step_ != 0) ++result_.restarts;
            armed_.reset();
            restart_ = false;
            step_ = 1;
        } else if (restart_) {
            fail("\"" + s.text + "\" of the old sequence after a click brought IvAc forward");
        } else if (s.text == "{DOWN}") {
            if (step_ != 1) fail("Down out of place");
            step_ = 2;
        } else if (s.text == "{ENTER}") {
            if (step_ != 3) fail("Enter out of place");
            ++result_.sequences;
            outcome(owner_click_, "Enter typed");
            step_ = 0;
        } else {
            if (step_ != 2) fail("position \"" + s.text + "\" out of place");
            if (s.text != positions_[owner_slot_])
                fail("typed \"" + s.text +
                     "\", the slot of the latest click that brought IvAc "
                     "forward holds \"" +
                     positions_[owner_slot_] + "\"");
            step_ = 3;
        }
        last_key_at_ = now;
    }

    // The latest click, by the number the dispatch gives it.
    struct ClickRec {
        ClickBalloons::Click id = 0;
        int slot = 0;
        bool aurora = false;  // no IvAc window when it was made
        int outcomes = 0;
        Millis handled = 0;
    };

    std::mt19937_64 rng_;
    sim::SimPlatform sim_;
    std::unique_ptr<Form1> form_;
    SoakResult result_;
    std::string positions_[kSlotCount];
    int last_slot_ = 0;
    int owner_slot_ = 0;  // the slot of the latest click that brought IvAc forward
    ClickBalloons::Click owner_click_ = 0;
    ClickBalloons::Click clicking_click_ = 0;  // the click being handled
    bool live_ = true;                         // no click has failed to bring IvAc forward since
    std::optional<ClickRec> current_;
    std::uint64_t told_ = 0;
    int delay_ = 100;
    const DelayText* field_ = &kDelays[0];  // what the delay field holds
    int clicking_ = 0;
    std::size_t clicks_planned_ = 0;
    std::vector<Millis> handled_;                        // when the last clicks ran
    Millis made_at_ = 0;                                 // when the click being handled was made
    std::vector<std::pair<Millis, std::string>> typed_;  // the last keys: start, text
    std::optional<Armed> armed_;
    bool restart_ = false;
    int step_ = 0;  // 1 to 3: F4, Down, the position typed
    Millis last_key_at_ = 0;
    std::vector<Millis> refusals_;
    std::vector<Interval> holds_;
    Millis modifiers_free_at_ = 0;
    std::vector<std::string> recent_;
    std::shared_ptr<sim::SimAurora> aurora_ = std::make_shared<sim::SimAurora>();
    struct AuroraClick {
        int slot;
        std::string position;  // at the click
        bool answered;         // a transfer went out for it or a newer click
    };
    std::vector<AuroraClick> aurora_clicks_;
    std::map<ClickBalloons::Click, int> aurora_outcomes_;  // outcomes told per Aurora click
};

std::vector<std::uint64_t> soak_seeds() {
    if (const char* env = std::getenv("TOVIRA_DISPATCH_SOAK_SEED"))
        return {std::strtoull(env, nullptr, 0)};
    return {0x5EED'0001, 0x5EED'0002};
}

Millis soak_hours() {
    const char* env = std::getenv("TOVIRA_DISPATCH_SOAK_HOURS");
    const long long h = env ? std::atoll(env) : 12;
    return h > 0 ? h : 12;
}

TEST(DispatchSoakTest, RandomClicksAndDesktopTypeOnlyWhatWasClickedOnlyIntoIvac) {
    const Millis hours = soak_hours();
    for (const std::uint64_t seed : soak_seeds()) {
        const SoakResult r = DispatchSoak(seed).run(hours * kHour);
        std::printf(
            "dispatch soak: seed %#llx, %lld h: %zu clicks, %zu activated, %zu sequences, "
            "%zu restarts, %zu sends refused, %zu transfers in Aurora, trace %016llx\n",
            static_cast<unsigned long long>(seed), static_cast<long long>(hours), r.clicks,
            r.activated, r.sequences, r.restarts, r.refused, r.transfers,
            static_cast<unsigned long long>(r.trace));
        EXPECT_EQ(r.violations, 0)
            << "seed " << seed << " (replay with TOVIRA_DISPATCH_SOAK_SEED=" << seed
            << "), first: " << r.first;
        // The run reaches every kind of outcome.
        EXPECT_GT(r.sequences, 100u);
        EXPECT_GT(r.restarts, 10u);
        EXPECT_GT(r.refused, 10u);
        EXPECT_GT(r.activated, 100u);
        EXPECT_GT(r.transfers, 100u);
        for (const char* text :
             {"IvAc did not come forward: not typed", "IvAc is not responding: not typed",
              "IvAc runs as administrator: start Tovira as administrator too",
              "Windows refused the keys"}) {
            EXPECT_TRUE(std::any_of(
                r.told.begin(), r.told.end(),
                [&](const std::string& t) { return t.find(text) == 0 || t.ends_with(text); }))
                << "never told: " << text;
        }
    }
}

TEST(DispatchSoakTest, ASeedReplaysExactly) {
    const std::uint64_t seed = soak_seeds().front();
    const SoakResult a = DispatchSoak(seed).run(kHour / 3);
    const SoakResult b = DispatchSoak(seed).run(kHour / 3);
    EXPECT_EQ(a.trace, b.trace);
    EXPECT_EQ(a.clicks, b.clicks);
    EXPECT_NE(DispatchSoak(seed + 1).run(kHour / 3).trace, a.trace);
}

}  // namespace
}  // namespace tovira::testing
