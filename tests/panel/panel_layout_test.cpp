#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using PanelLayoutTest = SimTest;

struct Snapshot {
    std::vector<float> geometry;
    std::vector<bool> visible;
    std::vector<int> boxes;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(Form1& f) {
    Snapshot s;
    auto add = [&](const Control& c) {
        s.geometry.insert(s.geometry.end(), {c.left(), c.top(), c.width(), c.height()});
    };
    for (int i = 0; i < kSlotCount; ++i) {
        add(*f.c1[i]);
        add(*f.l1[i]);
        s.visible.push_back(f.c1[i]->visible());
        s.boxes.push_back(f.Check2[i]->value());
    }
    add(*f.Command2);
    add(*f.Label9);
    add(*f.Line2);
    add(*f.Line3);
    s.geometry.insert(s.geometry.end(), {f.left(), f.top(), f.width(), f.height()});
    return s;
}

TEST_F(PanelLayoutTest, RowsSeparatorsAndMenuStandAtTheirNumbers) {
    ConfigLines c;
    for (int i = 0; i < kSlotCount; ++i) c.name(i) = numbered("S", i);
    write_config(c.text());
    start();
    EXPECT_TRUE(visible_slots().empty()) << "flags unset before the first online check";
    for (int i = 0; i < kSlotCount; ++i) form->slotactive.set(i, 1);
    form->collapse();
    EXPECT_EQ(visible_slots().size(), 30u);
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(form->c1[i]->left(), 0);
        EXPECT_EQ(form->c1[i]->top(), 260 * i);
        EXPECT_EQ(form->c1[i]->width(), 660);
        EXPECT_EQ(form->c1[i]->height(), 255);
        EXPECT_EQ(form->l1[i]->left(), 670);
        EXPECT_EQ(form->l1[i]->top(), 260 * i);
        EXPECT_EQ(form->l1[i]->width(), 885);
        EXPECT_EQ(form->Check2[i]->value(), 1);
    }
    EXPECT_EQ(form->Command2->left(), 0);
    EXPECT_EQ(form->Command2->top(), 7825);
    EXPECT_EQ(form->Command2->width(), 660);
    EXPECT_EQ(form->Label9->left(), 600);
    EXPECT_EQ(form->Label9->top(), 7825);
    EXPECT_EQ(form->Line2->x1(), 0);
    EXPECT_EQ(form->Line2->x2(), 1820);
    EXPECT_EQ(form->Line2->y1(), 2580);
    EXPECT_EQ(form->Line2->y2(), 2580);
    EXPECT_EQ(form->Line3->y1(), 5190);
    EXPECT_EQ(form->Line3->y2(), 5190);
    EXPECT_EQ(form->Line3->x2(), 1820);

    // Hidden rows stay empty; the rest do not move up.
    form->slotactive.set(3, 0);
    form->slotactive.set(4, 0);
    form->collapse();
    EXPECT_FALSE(form->c1[3]->visible());
    EXPECT_FALSE(form->c1[4]->visible());
    EXPECT_TRUE(form->c1[5]->visible());
    EXPECT_EQ(form->c1[5]->top(), 1300);
    EXPECT_EQ(form->Check2[3]->value(), 0);
}

TEST_F(PanelLayoutTest, NameRuleAndFlagToBoxCopy) {
    start();
    form->t0[0]->set_text("   ");
    form->slotactive.set(0, 1);
    form->slotactive.set(1, 1);  // no name
    form->collapse();
    EXPECT_TRUE(form->c1[0]->visible());
    EXPECT_EQ(form->c1[0]->caption(), "   ");
    EXPECT_FALSE(form->c1[1]->visible());
    EXPECT_EQ(form->Check2[1]->value(), 1);
    EXPECT_EQ(form->slotactive.get(1), 1);

    // A box that lags behind its flag is brought in line.
    form->t0[2]->set_text("HAM");
    form->slotactive.set(2, 1);
    ASSERT_EQ(form->Check2[2]->value(), 0);
    form->collapse();
    EXPECT_EQ(form->Check2[2]->value(), 1);
    EXPECT_EQ(form->slotactive.get(2), 1);
    EXPECT_TRUE(form->c1[2]->visible());
}

TEST_F(PanelLayoutTest, LayoutIsIdempotentAndKeepsWidthAndGapOption) {
    ConfigLines c;
    for (int i = 0; i < kSlotCount; i += 2) c.name(i) = numbered("S", i);
    write_config(c.text());
    start();
    for (int i = 0; i < kSlotCount; i += 3) form->slotactive.set(i, 1);
    form->collapse();
    const Snapshot once = snapshot(*form);
    form->collapse();
    EXPECT_EQ(snapshot(*form), once);
    EXPECT_EQ(form->width(), 1290);

    form->Check4->user_click();  // gap option off
    EXPECT_EQ(form->Check4->value(), 0);
    EXPECT_EQ(snapshot(*form), once);
    form->Check4->user_click();
    EXPECT_EQ(snapshot(*form), once);

    form->Command2->click();  // editing view: 8200 wide
    const float left = form->left();
    form->set_height(5000);
    form->collapse();
    EXPECT_EQ(form->width(), 8200);
    EXPECT_EQ(form->height(), 8100);
    EXPECT_EQ(form->left(), left);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 6, 12, 18, 24}));
}

}  // namespace
}  // namespace tovira::testing
