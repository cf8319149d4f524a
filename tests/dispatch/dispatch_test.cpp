#include "dispatch/dispatch.h"

#include <functional>
#include <string>
#include <vector>

#include "dispatch/key_notation.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using State = Dispatch::State;

// One recorded send, with its time relative to the click.
struct Sent {
    std::string text;
    Millis after = 0;
    friend bool operator==(const Sent&, const Sent&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Sent& s) {
        return os << '"' << s.text << "\"@" << s.after;
    }
};

class DispatchTest : public SimTest {
protected:
    // The window as created, IvAc running, and no start-up download or
    // minute tick in the way of the timeline.
    void ready() {
        sim.windows = {"IvAc"};
        create();
        form->Timer5->set_enabled(false);
        form->Timer6->set_enabled(false);
        for (int i = 0; i < 5; ++i) {
            form->t0[i]->set_text(numbered("S", i));
            form->t1[i]->set_text(numbered("POS", i));
        }
        form->t1[3]->set_text("EDDT_TWR");
    }

    Millis click(int slot) {
        const Millis t = sim.now();
        form->c1[slot]->click();
        return t;
    }

    std::vector<Sent> sent_since(Millis t0) const {
        std::vector<Sent> out;
        for (const auto& s : sim.sends) {
            if (s.at >= t0) out.push_back({s.text, s.at - t0});
        }
        return out;
    }

    State state() const { return form->dispatch.state(); }
};

TEST_F(DispatchTest, ClickTypesTheFourStepsFiftyMillisecondsApart) {
    ready();
    sim.run_for(1000);
    const Millis t = click(3);
    EXPECT_EQ(form->dispatch.dispatchslot, 3);
    EXPECT_EQ(sim.foreground, "IvAc");
    EXPECT_EQ(state(), State::Delaying);
    sim.run_for(100);
    EXPECT_EQ(state(), State::Typing);
    sim.run_for(249);
    EXPECT_EQ(state(), State::Typing);
    sim.run_for(1);
    EXPECT_EQ(state(), State::Idle);
    EXPECT_FALSE(form->Timer4->enabled());
    EXPECT_FALSE(form->Timer8->enabled());

    EXPECT_EQ(
        sent_since(t),
        (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}, {"EDDT_TWR", 250}, {"{ENTER}", 300}}));
    ASSERT_EQ(sim.sends.size(), 4u);
    EXPECT_EQ(sim.sends[0].keys, parse_key_notation("{F4}").keys);
    EXPECT_EQ(sim.sends[2].keys, parse_key_notation("EDDT_TWR").keys);
    EXPECT_EQ(sim.sends[2].keys.size(), 8u);
    for (const auto& s : sim.sends) {
        EXPECT_FALSE(s.wait);
        EXPECT_EQ(s.target, "IvAc");
    }
    sim.run_for(2000);
    EXPECT_EQ(sim.sends.size(), 4u);
}

TEST_F(DispatchTest, EmptyPositionTypesNothingAtStepThreeAndEnterOnTheFourthTick) {
    ready();
    form->t1[4]->set_text("");
    const Millis t = click(4);
    sim.run_for(1000);
    std::vector<Sent> typed;
    for (const auto& s : sim.sends) {
        if (!s.keys.empty()) typed.push_back({s.text, s.at - t});
    }
    EXPECT_EQ(typed, (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}, {"{ENTER}", 300}}));
    EXPECT_EQ(state(), State::Idle);
}

TEST_F(DispatchTest, WithoutIvacNothingIsTypedButTheSlotIsTaken) {
    ready();
    sim.windows.clear();
    click(1);
    EXPECT_EQ(form->dispatch.dispatchslot, 1);
    EXPECT_EQ(state(), State::Idle);
    sim.run_for(1000);
    EXPECT_TRUE(sim.sends.empty());
    EXPECT_EQ(state(), State::Idle);

    // IvAc goes away during a sequence: the click goes to Aurora and ends
    // the sequence; nothing of it is typed afterwards.
    sim.windows = {"IvAc"};
    sim.balloons.clear();
    const Millis t = click(1);
    sim.run_for(160);
    sim.windows.clear();
    click(2);
    EXPECT_EQ(form->dispatch.dispatchslot, 2);
    EXPECT_EQ(state(), State::Idle);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150}}));
    EXPECT_TRUE(sim.refused.empty());
    // Aurora's outcome alone is shown, at the button clicked.
    ASSERT_EQ(sim.balloons.size(), 1u);
    EXPECT_EQ(sim.balloons[0].control_id, form->c1[2]->id());
}

// One click, one outcome: the click whose activation fails is told "not
// typed", and nothing is typed after it, neither its slot nor the old one's.
TEST_F(DispatchTest, AClickWhoseActivationFailsEndsTheSequenceAndTypesNothingMore) {
    ready();
    const Millis t = click(1);
    sim.run_for(160);  // F4 went out at 150
    // IvAc no longer comes forward on request; the desktop is in front.
    sim.activation["IvAc"].never = true;
    sim.foreground = "";
    sim.world(t + 761, [&] { sim.foreground = "IvAc"; });  // the user clicks IvAc
    const Millis c = click(2);
    EXPECT_EQ(sim.now() - c, platform::kActivationWaitMs);  // waited in vain
    EXPECT_EQ(form->dispatch.dispatchslot, 2);
    EXPECT_EQ(state(), State::Idle);
    sim.run_for(1000);
    // What the user sees: slot 1's F4, then slot 2's balloon, then nothing.
    EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150}}));
    ASSERT_EQ(sim.balloons.size(), 1u);
    EXPECT_EQ(sim.balloons[0].control_id, form->c1[2]->id());
    EXPECT_EQ(sim.balloons[0].text, "IvAc did not come forward: not typed");
    EXPECT_EQ(sim.balloons[0].at, c + platform::kActivationWaitMs);
}

// Every way a click fails to bring IvAc forward ends the sequence under way
// (slot 1's, after its F4) with one balloon, at the clicked button, saying
// why; no key goes anywhere after the click. (Which windows are IvAc's, and
// which verdict each gets, is the window verdict's own table; staying
// behind is the test above.)
TEST_F(DispatchTest, AClickThatDoesNotBringIvacForwardEndsTheSequenceUnderWay) {
    using platform::Integrity;
    struct Case {
        const char* name;
        std::function<void(sim::SimPlatform&)> desktop;
        const char* balloon;  // null: Aurora's (it does not listen here)
    };
    const Case cases[] = {
        {"IvAc hung", [](auto& s) { s.window_facts["IvAc"].hung = true; },
         "IvAc is not responding: not typed"},
        {"IvAc elevated", [](auto& s) { s.window_facts["IvAc"].integrity = Integrity::Higher; },
         "IvAc runs as administrator: start Tovira as administrator too"},
        {"IvAc's input method open", [](auto& s) { s.window_facts["IvAc"].ime_open = true; },
         "An input method is open in IvAc: close it, then click again"},
        {"IvAc gone", [](auto& s) { s.windows.clear(); }, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        sim.window_facts.clear();
        sim.activation.clear();
        sim.balloons.clear();
        sim.sends.clear();
        ready();
        const Millis t = click(1);
        sim.run_for(160);
        k.desktop(sim);
        const Millis c = click(2);
        sim.run_for(5000);
        EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150}}));
        EXPECT_EQ(state(), State::Idle);
        ASSERT_EQ(sim.balloons.size(), 1u);
        EXPECT_EQ(sim.balloons[0].control_id, form->c1[2]->id());
        EXPECT_GE(sim.balloons[0].at, c);
        if (k.balloon) {
            EXPECT_EQ(sim.balloons[0].text, k.balloon);
        } else {
            EXPECT_EQ(sim.balloons[0].text, AuroraClient::kNoAccess);
        }
    }
}

// Something that stops the keys mid-sequence (Windows taking fewer keys
// than given, for a UAC prompt or a locked workstation; IvAc no longer
// answering, so keys would come out whenever it wakes, unseen; an input
// method opened in IvAc, which would compose the position) ends the
// sequence there, with one balloon at the button saying how far it got.
TEST_F(DispatchTest, KeysStoppedMidSequenceEndItSayingHowFarItGot) {
    enum Stop { Refused, Hangs, ImeOpens };
    struct Case {
        int stopped_from;  // the first step that does not go
        Stop stop;
        const char* balloon;
    };
    const Case cases[] = {
        {1, Refused, "Windows refused the keys: not typed"},
        {2, Refused, "F4 typed, not the rest: Windows refused the keys"},
        {3, Refused, "F4 and Down typed, not the rest: Windows refused the keys"},
        {4, Refused, "F4, Down and the position typed, not the rest: Windows refused the keys"},
        {2, Hangs, "IvAc is not responding: not typed"},
        {3, ImeOpens, "An input method is open in IvAc: close it, then click again"},
    };
    const std::vector<std::string> steps = {"{F4}", "{DOWN}", "EDDT_TWR", "{ENTER}"};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.balloon);
        sim.balloons.clear();
        sim.sends.clear();
        sim.window_facts.clear();
        sim.refuse_keys = false;
        ready();
        const Millis t = click(3);
        // Step n goes at 100 + 50 n after the click.
        sim.world(t + 100 + 50 * k.stopped_from - 1, [&] {
            if (k.stop == Hangs) sim.window_facts["IvAc"].hung = true;
            if (k.stop == ImeOpens) sim.window_facts["IvAc"].ime_open = true;
            if (k.stop == Refused) sim.refuse_keys = true;
        });
        sim.run_for(2000);
        std::vector<std::string> typed;
        for (const Sent& s : sent_since(t)) typed.push_back(s.text);
        EXPECT_EQ(typed,
                  std::vector<std::string>(steps.begin(), steps.begin() + k.stopped_from - 1));
        ASSERT_EQ(sim.balloons.size(), 1u);
        EXPECT_EQ(sim.balloons[0].text, k.balloon);
        EXPECT_EQ(sim.balloons[0].control_id, form->c1[3]->id());
        EXPECT_EQ(state(), State::Idle);
    }
    sim.refuse_keys = false;
    sim.window_facts.clear();
}

TEST_F(DispatchTest, TitleThatBeginsWithIvacIsActivated) {
    ready();
    sim.windows = {"Notepad", "IvAc - EDDT"};
    click(3);
    sim.run_for(1000);
    ASSERT_EQ(sim.sends.size(), 4u);
    for (const auto& s : sim.sends) EXPECT_EQ(s.target, "IvAc - EDDT");
    EXPECT_EQ(sim.activations.back(), "IvAc");
}

TEST_F(DispatchTest, TwoQuickClicksTypeOnlyTheLastSlot) {
    ready();
    const Millis t = click(1);
    sim.run_for(20);
    click(2);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t),
              (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}, {"POS2", 250}, {"{ENTER}", 300}}));
}

TEST_F(DispatchTest, ClickDuringTypingRestartsWithF4OnTheNextTick) {
    ready();
    const Millis t = click(1);
    sim.run_for(260);  // POS1 went out at 250
    click(2);
    EXPECT_TRUE(form->Timer4->enabled());
    EXPECT_TRUE(form->Timer8->enabled());
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150},
                                                {"{DOWN}", 200},
                                                {"POS1", 250},
                                                {"{F4}", 300},
                                                {"{DOWN}", 350},
                                                {"POS2", 400},
                                                {"{ENTER}", 450}}));
    EXPECT_EQ(state(), State::Idle);
}

TEST_F(DispatchTest, DelayThatOutlivesTheRestartedSequenceSendsNothingMore) {
    ready();
    form->Text3->set_text("400");
    form->Text3->key_press(13);
    const Millis t = click(1);
    sim.run_for(460);  // Typing since 400, F4 went out at 450
    click(2);          // restarts the steps; the new delay runs until 860
    sim.run_for(2000);
    EXPECT_EQ(sent_since(t),
              (std::vector<Sent>{
                  {"{F4}", 450}, {"{F4}", 500}, {"{DOWN}", 550}, {"POS2", 600}, {"{ENTER}", 650}}));
    EXPECT_EQ(state(), State::Idle);
    EXPECT_GT(form->dispatch.dispatchstep, 5);
}

TEST_F(DispatchTest, PositionEditedBeforeTheThirdTickIsTheOneTyped) {
    ready();
    const Millis t = click(3);
    sim.run_for(220);
    form->t1[3]->set_text("EDDT_GND");
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t)[2], (Sent{"EDDT_GND", 250}));
}

TEST_F(DispatchTest, TypingDelayIsSetByEnterInText3) {
    ready();
    form->Text3->set_text("250");
    form->Text3->key_press(13);
    EXPECT_EQ(form->Timer4->interval(), 250u);
    Millis t = click(3);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t).front(), (Sent{"{F4}", 300}));

    // Typed but not confirmed: the delay stays.
    form->Text3->set_text("500");
    form->Text3->key_press('0');
    EXPECT_EQ(form->Timer4->interval(), 250u);

    // Out of the timer's range: the previous delay stays.
    for (const char* bad : {"70000", "65535.5", "-1", "-0.6"}) {
        form->Text3->set_text(bad);
        form->Text3->key_press(13);
        EXPECT_EQ(form->Timer4->interval(), 250u) << bad;
    }
    form->Text3->set_text("65535.4");
    form->Text3->key_press(13);
    EXPECT_EQ(form->Timer4->interval(), 65535u);
    form->Text3->set_text(" 1 01.5 ms");
    form->Text3->key_press(13);
    EXPECT_EQ(form->Timer4->interval(), 102u);
    form->Text3->set_text("100.5");
    form->Text3->key_press(13);
    EXPECT_EQ(form->Timer4->interval(), 100u);

    // No leading number gives 0: clicks activate IvAc but type nothing.
    form->Text3->set_text("abc");
    form->Text3->key_press(13);
    EXPECT_EQ(form->Timer4->interval(), 0u);
    const std::size_t before = sim.sends.size();
    t = click(3);
    sim.run_for(5000);
    EXPECT_EQ(sim.sends.size(), before);
    // Nothing is left armed that a later delay could set off.
    EXPECT_EQ(state(), State::Idle);
    form->Text3->set_text("100");
    form->Text3->key_press(13);
    sim.run_for(5000);
    EXPECT_EQ(sim.sends.size(), before);
    EXPECT_EQ(state(), State::Idle);
}

TEST_F(DispatchTest, AnUnconfirmedDelayIsSavedAndHoldsFromTheNextStart) {
    sim.windows = {"IvAc"};
    ConfigLines cfg;
    cfg.name(3) = "TWR";
    cfg.position(3) = "EDDT_TWR";
    write_config(cfg.text());
    start();
    form->Text3->set_text("250");
    EXPECT_EQ(form->Timer4->interval(), 100u);
    form->unload();

    start();
    EXPECT_EQ(form->Text3->text(), "250");
    EXPECT_EQ(form->Timer4->interval(), 250u);
    const Millis t = click(3);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t).front(), (Sent{"{F4}", 300}));
}

TEST_F(DispatchTest, KeyWaitMakesEverySendWaitAndLaterTicksComeLater) {
    ready();
    form->Check5->set_value(1);
    EXPECT_EQ(form->dispatch.keywait, 1);
    sim.key_processing_ms = 80;
    const Millis t = click(3);
    sim.run_for(2000);
    const auto sent = sent_since(t);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], (Sent{"{F4}", 150}));
    EXPECT_EQ(sent[1].text, "{DOWN}");
    EXPECT_EQ(sent[2].text, "EDDT_TWR");
    EXPECT_EQ(sent[3].text, "{ENTER}");
    for (std::size_t i = 1; i < sent.size(); ++i) EXPECT_GE(sent[i].after - sent[i - 1].after, 80);
    for (const auto& s : sim.sends) EXPECT_TRUE(s.wait);
    EXPECT_EQ(state(), State::Idle);

    form->Check5->set_value(0);
    EXPECT_EQ(form->dispatch.keywait, 0);
    sim.sends.clear();
    click(3);
    sim.run_for(1000);
    ASSERT_EQ(sim.sends.size(), 4u);
    for (const auto& s : sim.sends) EXPECT_FALSE(s.wait);
}

TEST_F(DispatchTest, PositionKeepsTheMeaningOfTheKeyNotation) {
    using platform::NamedKey;
    ready();
    form->t1[1]->set_text("A~");
    form->t1[2]->set_text("+ab");
    click(1);
    sim.run_for(1000);
    click(2);
    sim.run_for(1000);
    ASSERT_EQ(sim.sends.size(), 8u);
    EXPECT_EQ(sim.sends[2].text, "A~");
    ASSERT_EQ(sim.sends[2].keys.size(), 2u);
    EXPECT_TRUE(sim.sends[2].keys[1].named);
    EXPECT_EQ(sim.sends[2].keys[1].key, NamedKey::Enter);
    EXPECT_EQ(sim.sends[6].text, "+ab");
    ASSERT_EQ(sim.sends[6].keys.size(), 2u);
    EXPECT_EQ(sim.sends[6].keys[0].ch, U'a');
    EXPECT_TRUE(sim.sends[6].keys[0].mods.shift);
    EXPECT_FALSE(sim.sends[6].keys[1].mods.shift);
}

TEST_F(DispatchTest, UnparseablePositionEndsTheSequenceWithoutEnter) {
    ready();
    form->t1[1]->set_text("EDDT{");
    form->t1[2]->set_text("{FOO}");
    for (int slot : {1, 2}) {
        sim.sends.clear();
        const Millis t = click(slot);
        sim.run_for(250);  // the third tick
        EXPECT_EQ(state(), State::Idle) << slot;
        sim.run_for(2000);
        EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}})) << slot;
    }
    // The next click runs a whole sequence again.
    sim.sends.clear();
    click(3);
    sim.run_for(1000);
    EXPECT_EQ(sim.sends.size(), 4u);
}

// ---- a confirmed delay and the sequence under way ------------------------------------

TEST_F(DispatchTest, ConfirmingADelayNeverStartsRestartsDelaysOrCancelsASequence) {
    ready();
    // During the delay: the running one holds, the new one from the next click.
    Millis t = click(1);
    sim.run_for(60);
    form->Text3->set_text("400");
    form->Text3->key_press(13);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t).front(), (Sent{"{F4}", 150}));
    EXPECT_EQ(form->Timer4->interval(), 400u);
    t = click(2);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t).front(), (Sent{"{F4}", 450}));

    // During the delay, a delay of 0: the sequence still comes.
    t = click(3);
    sim.run_for(100);
    form->Text3->set_text("0");
    form->Text3->key_press(13);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t).size(), 4u);
    EXPECT_EQ(state(), State::Idle);

    // During typing, and after the sequence: no key that no click asked for.
    form->Text3->set_text("100");
    form->Text3->key_press(13);
    t = click(3);
    sim.run_for(160);
    form->Text3->set_text("30");
    form->Text3->key_press(13);
    sim.run_for(5000);
    EXPECT_EQ(sent_since(t).size(), 4u);
    form->Text3->set_text("200");
    form->Text3->key_press(13);
    sim.run_for(5000);
    EXPECT_EQ(sent_since(t).size(), 4u);
    EXPECT_EQ(state(), State::Idle);
}

TEST_F(DispatchTest, AClickWithDelayZeroRestartsARunningSequenceThroughTheKeyTimer) {
    ready();
    const Millis t = click(1);
    sim.run_for(210);  // Down went out at 200
    form->Text3->set_text("abc");
    form->Text3->key_press(13);
    click(2);
    EXPECT_FALSE(form->Timer4->enabled());
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150},
                                                {"{DOWN}", 200},
                                                {"{F4}", 250},
                                                {"{DOWN}", 300},
                                                {"POS2", 350},
                                                {"{ENTER}", 400}}));
    EXPECT_EQ(state(), State::Idle);
}

// ---- nothing of the core runs inside a wait of the dispatch --------------------------

TEST_F(DispatchTest, ASecondClickWhileIvacIsSlowToComeForwardRestartsBeforeAnyOldKey) {
    ready();
    const Millis t = click(1);
    sim.run_for(210);  // F4 and Down of slot 1 went out
    // The user was elsewhere: IvAc takes 240 ms to come forward again.
    sim.foreground = "Tovira";
    sim.activation["IvAc"].takes = 240;
    // What came in the wait ran only after the step reset (in the click's
    // own pass of the loop at its end): its time tells.
    Millis during = 0;
    sim.at(sim.now() + 100, [&] { during = sim.now(); });
    sim.at(sim.now() + 100, [&] { form->c1[4]->click(); });
    const Millis c = click(3);
    EXPECT_EQ(sim.now() - c, 240);
    EXPECT_EQ(during, c + 240);
    sim.run_for(2000);
    const auto sent = sent_since(t);
    // Slot 1's sequence typed nothing more: the key tick that fell due in
    // the wait came after the step reset and typed slot 3's F4; the click on
    // 4 came after that and restarted the sequence once more.
    std::vector<std::string> texts;
    for (const auto& s : sent) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"{F4}", "{DOWN}", "{F4}", "{F4}", "{DOWN}", "POS4",
                                               "{ENTER}"}));
    for (const auto& s : sim.sends) EXPECT_EQ(s.target, "IvAc");
}

// ---- keys only into IvAc, never with the user's modifiers ---------------------------

TEST_F(DispatchTest, AnActivationThatFailsArmsNothing) {
    ready();
    sim.foreground = "Chat";
    sim.activation["IvAc"].never = true;
    const Millis t = click(3);
    EXPECT_EQ(sim.now() - t, platform::kActivationWaitMs);
    EXPECT_EQ(state(), State::Idle);
    sim.foreground = "IvAc";  // the user brings it forward later
    sim.run_for(2000);
    EXPECT_TRUE(sim.sends.empty());
}

TEST_F(DispatchTest, AnotherProgramInFrontEndsTheSequenceThisProgramInFrontIsUndone) {
    ready();
    // Tovira (a field of the editing view) took the focus: IvAc comes back.
    Millis t = click(3);
    sim.run_for(220);
    sim.foreground = "Tovira";
    sim.activation["IvAc"].takes = 30;
    sim.run_for(1000);
    EXPECT_EQ(
        sent_since(t),
        (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}, {"EDDT_TWR", 280}, {"{ENTER}", 330}}));
    // A chat window in front: nothing more is typed, into it or anywhere.
    sim.sends.clear();
    t = click(3);
    sim.run_for(220);
    sim.foreground = "Chat";
    sim.run_for(200);
    sim.foreground = "IvAc";  // too late: the sequence has ended
    sim.run_for(2000);
    EXPECT_EQ(sent_since(t), (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}}));
    ASSERT_EQ(sim.refused.size(), 1u);
    EXPECT_EQ(sim.refused[0].text, "EDDT_TWR");
    EXPECT_EQ(sim.refused[0].target, "Chat");
    EXPECT_EQ(state(), State::Idle);
    EXPECT_FALSE(form->Timer4->enabled());
}

TEST_F(DispatchTest, HeldKeysOrButtonsPutTheStepOffWithoutHoldingTheWindow) {
    // Push-to-talk with Ctrl, or a side mouse button; a hand pressing a
    // station button. Times from the click on slot 3 (F4 due at 150, Enter at
    // 300); `end` 0: held past the end of the run.
    struct Case {
        const char* name;
        bool button;
        Millis from, to;
        int click_slot;  // a click meanwhile, at `click_at`; -1: none
        Millis click_at;
        std::vector<std::string> typed;
        Millis first_after;  // the first key after the hold, relative to the click
        bool balloon;
    };
    const std::string slot3[] = {"{F4}", "{DOWN}", "EDDT_TWR", "{ENTER}"};
    const std::vector<std::string> whole3(std::begin(slot3), std::end(slot3));
    const std::vector<std::string> whole1 = {"{F4}", "{DOWN}", "POS1", "{ENTER}"};
    const Case cases[] = {
        // The old sequence's Enter must not follow the user's new choice.
        {"click during a held Ctrl", false, 290, 900, 1, 400, whole1, 900, false},
        {"Ctrl through a 5 s transmission", false, 140, 5140, -1, 0, whole3, 5140, false},
        {"side button 5 s", true, 140, 5140, -1, 0, whole3, 5140, false},
        {"Ctrl held 12 s", false, 140, 0, -1, 0, {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ready();
        bool& held = c.button ? sim.mouse_buttons : sim.modifiers;
        std::vector<std::string> typed_held;  // keys that went while held
        sim.on_send = [&](const sim::KeySend& s, bool typed) {
            if (typed && !s.keys.empty() && (sim.modifiers || sim.mouse_buttons))
                typed_held.push_back(s.text);
        };
        const Millis t = click(3);
        sim.world(t + c.from, [&] { held = true; });
        if (c.to) sim.world(t + c.to, [&] { held = false; });
        Millis click_ran = 0;
        if (c.click_slot >= 0) {
            sim.at(t + c.click_at, [&] {
                click_ran = sim.now() - t;
                form->c1[c.click_slot]->click();
            });
        }
        sim.run_for(15000);
        // A click meanwhile runs when made: the window is not held.
        if (c.click_slot >= 0) {
            EXPECT_EQ(click_ran, c.click_at);
        }
        std::vector<std::string> after;
        Millis first = -1;
        for (const Sent& s : sent_since(t)) {
            if (s.after < c.from) continue;
            if (first < 0) first = s.after;
            after.push_back(s.text);
        }
        EXPECT_EQ(after, c.typed);
        if (!c.typed.empty()) {
            EXPECT_GE(first, c.first_after);
            EXPECT_LE(first, c.first_after + static_cast<Millis>(kKeyStepMs));
        }
        EXPECT_TRUE(typed_held.empty());
        EXPECT_EQ(state(), State::Idle);
        EXPECT_EQ(held, c.to == 0);  // never released for the user
        ASSERT_EQ(sim.balloons.size(), c.balloon ? 1u : 0u);
        if (c.balloon) {
            EXPECT_EQ(sim.balloons[0].control_id, form->c1[3]->id());
            EXPECT_EQ(sim.balloons[0].at - t, 150 + kHeldWaitMs);  // from the first step put off
        }
        sim.on_send = nullptr;
        sim.sends.clear();
        sim.balloons.clear();
        held = false;
    }
}

// The foreground lock's Alt tap never goes while the user holds a key or a
// button (Shift with Alt switches the input language): it waits for them
// to be up, and a step that waited in vain is put off like any held step.
TEST_F(DispatchTest, TheForegroundLockKeyTapWaitsForTheUsersKeysToBeUp) {
    struct Case {
        const char* name;
        Millis held_from, held_to;  // after the Down step began; 0, 0: nothing held
    };
    const Case cases[] = {
        {"nothing held", 0, 0},
        {"held over the tap, released within the wait", 400, 560},
        {"held through the whole wait", 30, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.key_taps.clear();
        sim.key_tap_times.clear();
        sim.activation.clear();
        ready();
        const Millis t = click(3);
        sim.run_for(170);  // F4 went at 150
        // This program in front; IvAc takes its time to come back.
        sim.foreground = "Tovira";
        sim.activation["IvAc"].takes = 590;
        const Millis down = t + 200;
        if (c.held_to) {
            sim.world(down + c.held_from, [&] { sim.modifiers = true; });
            sim.world(down + c.held_to, [&] { sim.modifiers = false; });
        }
        sim.run_for(6000);
        if (!c.held_to) {
            EXPECT_EQ(sim.key_tap_times.size(), 1u);
        }
        for (Millis at : sim.key_tap_times) {
            EXPECT_FALSE(c.held_to && at >= down + c.held_from && at < down + c.held_to)
                << "a tap at " << at - down;
        }
        // The step waited for the hand, then the whole command went.
        std::vector<std::string> texts;
        for (const Sent& s : sent_since(t)) texts.push_back(s.text);
        EXPECT_EQ(texts, (std::vector<std::string>{"{F4}", "{DOWN}", "EDDT_TWR", "{ENTER}"}));
        sim.modifiers = false;
    }
}

TEST_F(DispatchTest, AKeyPressedWhileIvacIsBroughtBackIsCheckedRightBeforeTheKeys) {
    ready();
    const Millis t = click(3);
    sim.run_for(170);  // F4 went at 150
    // The user clicked the panel's background: this program in front; IvAc
    // takes 300 ms to come back, and Ctrl goes down meanwhile for a second.
    sim.foreground = "Tovira";
    sim.activation["IvAc"].takes = 300;
    std::vector<std::string> typed_held;
    sim.on_send = [&](const sim::KeySend& s, bool typed) {
        if (typed && sim.modifiers) typed_held.push_back(s.text);
    };
    sim.world(t + 300, [&] { sim.modifiers = true; });
    sim.world(t + 1300, [&] { sim.modifiers = false; });
    sim.run_for(3000);
    EXPECT_TRUE(typed_held.empty());
    ASSERT_FALSE(sim.refused.empty());
    EXPECT_EQ(sim.refused[0].outcome, platform::KeysSent::Held);
    std::vector<std::string> texts;
    for (const Sent& s : sent_since(t)) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"{F4}", "{DOWN}", "EDDT_TWR", "{ENTER}"}));
    EXPECT_GE(sent_since(t)[1].after, 1300);
}

TEST_F(DispatchTest, APressSpanningTheStepsHandsThePressedStationOverOnRelease) {
    ready();
    const Millis t = click(3);
    // Pressed at 120 ms, released 450 ms later: the release is the click.
    sim.user_press(t + 120, *form->c1[1], 450);
    sim.run_for(2000);
    std::vector<std::string> texts;
    for (const Sent& s : sent_since(t)) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"{F4}", "{DOWN}", "POS1", "{ENTER}"}));
    ASSERT_EQ(sim.clicks.size(), 1u);
    EXPECT_EQ(sim.clicks[0].handled, sim.clicks[0].made);
    // The first key after the press came a delay after its release at most.
    EXPECT_LE(sent_since(t)[0].after, 570 + 100 + 50);
}

TEST_F(DispatchTest, AHandoverThatEndsUntypedIsShownBesideItsButton) {
    ready();
    sim.windows.clear();
    click(2);  // to Aurora, which does not listen: its balloon says so
    sim.run_for(3000);
    sim.windows = {"IvAc", "Chat"};
    sim.activation["IvAc"].never = true;
    sim.foreground = "Chat";
    click(4);
    sim.activation.clear();
    sim.foreground = "IvAc";
    click(1);
    sim.run_for(160);  // F4 went
    sim.foreground = "Chat";
    sim.run_for(1000);
    ASSERT_EQ(sim.balloons.size(), 3u);
    EXPECT_EQ(sim.balloons[0].control_id, form->c1[2]->id());
    EXPECT_EQ(sim.balloons[1].control_id, form->c1[4]->id());
    EXPECT_EQ(sim.balloons[2].control_id, form->c1[1]->id());
    EXPECT_NE(sim.balloons[0].text, sim.balloons[1].text);
    EXPECT_NE(sim.balloons[1].text, sim.balloons[2].text);
    // The foreground lock's key tap never went to the chat.
    EXPECT_TRUE(sim.key_taps.empty());
}

}  // namespace
}  // namespace tovira::testing
