#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using FormDesignTest = SimTest;

void expect_box(const Control& c, float left, float top, float width, float height) {
    SCOPED_TRACE(c.index() >= 0 ? numbered(c.name() + "(", c.index()) + ")" : c.name());
    EXPECT_EQ(c.left(), left);
    EXPECT_EQ(c.top(), top);
    EXPECT_EQ(c.width(), width);
    EXPECT_EQ(c.height(), height);
}

TEST_F(FormDesignTest, EditingAreaStandsWhereTheDesignPutsIt) {
    create();
    for (int i = 0; i <= kExampleRow; ++i) {
        const float top = i <= 20 ? 315.0f + 240.0f * i : 360.0f + 240.0f * i;
        expect_box(*form->t0[i], 1830, top, 975, 285);
        expect_box(*form->t1[i], 2910, top, 1335, 285);
    }
    for (int i = 0; i < kSlotCount; ++i) {
        const float top = i <= 19 ? 315.0f + 240.0f * i : i == 20 ? 5160.0f : 360.0f + 240.0f * i;
        expect_box(*form->Check2[i], 4350, top, 255, 255);
        EXPECT_EQ(form->Check2[i]->value(), 0);
        EXPECT_EQ(form->Check2[i]->caption(), "");
    }
    EXPECT_EQ(form->t0[kExampleRow]->text(), "TEG_TWR");
    EXPECT_EQ(form->t1[kExampleRow]->text(), "EDDT_TWR");
    expect_box(*form->Check3, 4350, 40, 255, 255);
    EXPECT_EQ(form->Check3->value(), 0);
    EXPECT_EQ(form->Label1->caption(), "   Name     Tovira Pos");
    EXPECT_EQ(form->Label1->left(), 1830);
    EXPECT_EQ(form->Label1->top(), 75);
    EXPECT_EQ(form->Label1->width(), 2655);
    EXPECT_EQ(form->Label4->caption(), "<<< Example");
    expect_box(*form->Label4, 4680, 7620, 1695, 255);
    EXPECT_EQ(form->Command2->caption(), "Menu");
    EXPECT_EQ(form->Command2->tooltip(), "Configure the buttons and ATC positions");
    expect_box(*form->Command3, 4710, 315, 2130, 855);
    expect_box(*form->Command5, 4710, 1275, 2130, 855);
    expect_box(*form->Check1, 5400, 5280, 1665, 225);
    EXPECT_EQ(form->Check1->fore_color(), 0xFFFFFFu);
    EXPECT_EQ(form->Check1->back_color(), 0x000040u);
    struct Opt {
        OptionButton* o;
        const char* caption;
        float top;
    };
    for (const Opt& o :
         {Opt{form->Option1.get(), "Blue", 315}, Opt{form->Option4.get(), "Black", 675},
          Opt{form->Option2.get(), "Red", 1035}, Opt{form->Option5.get(), "Green", 1395},
          Opt{form->Option3.get(), "Gray", 1755}}) {
        EXPECT_EQ(o.o->caption(), o.caption);
        expect_box(*o.o, 6990, o.top, 855, 255);
    }
    EXPECT_EQ(form->Command4->caption(), "ALL ON/OFF");
    expect_box(*form->Command4, 4830, 11235, 2130, 375);
    expect_box(*form->Check4, 7440, 12360, 225, 225);
    EXPECT_EQ(form->Check4->value(), 1);
    EXPECT_EQ(form->Check4->tooltip(), "Shows a Space for each deselected Button");
    EXPECT_EQ(form->Command1->caption(), "Test");
    expect_box(*form->Command1, 1950, 11595, 1170, 330);
    expect_box(*form->Label9, 600, 7825, 495, 255);
    EXPECT_EQ(form->Label9->caption(), "");
    EXPECT_EQ(form->Label9->back_color(), 0x000040u);
    EXPECT_EQ(form->Line2->fore_color(), 0xFF0000u);
    EXPECT_EQ(form->Line3->fore_color(), 0xFF0000u);
    for (int i = 0; i < kSlotCount; ++i) {
        const std::uint32_t button = i < 10 ? 0xFF00FF : i < 20 ? 0x00FF00 : 0x00FFFF;
        const std::uint32_t label = i < 10 ? 0xFFC0FF : button;
        EXPECT_EQ(form->c1[i]->back_color(), button);
        EXPECT_TRUE(form->c1[i]->graphical());
        EXPECT_EQ(form->l1[i]->fore_color(), label);
        EXPECT_EQ(form->l1[i]->font().size, 8.25f);
        expect_box(*form->l1[i], 670, 480.0f + 240.0f * i, 885, 240);
    }
    EXPECT_EQ(form->Timer4->interval(), 100u);
    EXPECT_EQ(form->Timer6->interval(), 60000u);
    EXPECT_EQ(form->Timer8->interval(), 50u);
}

TEST_F(FormDesignTest, FromAuroraStandsOnFreeGroundInBothViewsWithItsOwnIdAndTab) {
    start();  // the panel laid out, as in either view
    const CommandButton& button = *form->Command9;
    EXPECT_EQ(button.caption(), "From Aurora");
    expect_box(button, 4710, 4200, 2130, 375);
    EXPECT_EQ(form->find_control(button.id()), &button);
    for (const Control* c : form->controls()) {
        if (c == &button) continue;
        SCOPED_TRACE(c->index() >= 0 ? numbered(c->name() + "(", c->index()) + ")" : c->name());
        EXPECT_NE(c->id(), button.id());
        EXPECT_NE(c->tab_index(), button.tab_index());
        const bool apart = c->left() + c->width() <= button.left() ||
                           button.left() + button.width() <= c->left() ||
                           c->top() + c->height() <= button.top() ||
                           button.top() + button.height() <= c->top();
        EXPECT_TRUE(apart);
    }
    // Inside the editing view, outside the panel view.
    EXPECT_LE(button.left() + button.width(), kEditWidth);
    EXPECT_LE(button.top() + button.height(), kViewHeight);
    EXPECT_GE(button.left(), kPanelWidth);
}

}  // namespace
}  // namespace tovira::testing
