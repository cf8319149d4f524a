#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using StartupTest = SimTest;

TEST_F(StartupTest, FirstStartWithoutFileShowsEmptyPanelAtOrigin) {
    start();
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(form->left(), 0);
    EXPECT_EQ(form->top(), 0);
    EXPECT_EQ(form->width(), 1290);
    EXPECT_EQ(form->height(), 8100);
    EXPECT_TRUE(visible_slots().empty());
}

}  // namespace
}  // namespace tovira::testing
