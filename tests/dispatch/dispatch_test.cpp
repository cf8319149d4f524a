#include "dispatch/dispatch.h"

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

    // IvAc goes away during a sequence: a failed click leaves the timers as
    // they were, and the sequence types the position of the slot clicked last.
    sim.windows = {"IvAc"};
    const Millis t = click(1);
    sim.run_for(160);
    sim.windows.clear();
    click(2);
    EXPECT_EQ(form->dispatch.dispatchslot, 2);
    EXPECT_EQ(state(), State::Typing);
    sim.run_for(1000);
    EXPECT_EQ(sent_since(t),
              (std::vector<Sent>{{"{F4}", 150}, {"{DOWN}", 200}, {"POS2", 250}, {"{ENTER}", 300}}));
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
    EXPECT_EQ(state(), State::Delaying);
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

}  // namespace
}  // namespace tovira::testing
