#include "gadget_triggers.h"

#include <gtest/gtest.h>

namespace hil {
namespace {

TEST(GadgetTriggers, ParsesKindOccurrenceAndActionAndRefusesTheRest) {
    const std::optional<Trigger> trigger = ParseTrigger("df:fb#5:pull");
    ASSERT_TRUE(trigger);
    EXPECT_EQ(trigger->kind, "df:fb");
    EXPECT_EQ(trigger->occurrence, 5u);
    EXPECT_EQ(trigger->action, TriggerAction::Pull);
    EXPECT_EQ(ParseTrigger("ff04:10#12:stall-data")->action, TriggerAction::StallData);
    EXPECT_EQ(ParseTrigger("12#1:stall-status")->action, TriggerAction::StallStatus);
    EXPECT_EQ(ParseTrigger("e0#1:pause")->action, TriggerAction::Pause);
    for (const char* bad : {"", "df:fb", "df:fb#5", "df:fb#0:pull", "df:fb#x:pull", "df:fb#5:", "#5:pull",
                            "df:fb#5:unplug", "df:fb#-1:pull", "df:fb#5x:pull"}) {
        EXPECT_FALSE(ParseTrigger(bad)) << bad;
    }
}

TEST(GadgetTriggers, ActOnlyOnTheNamedOccurrenceOfTheirKindInTheOrderGiven) {
    TriggerSet set;
    set.add(*ParseTrigger("df:fb#2:pause"));
    set.add(*ParseTrigger("df:fb#2:pull"));
    set.add(*ParseTrigger("ff04:11#1:stall-status"));
    EXPECT_TRUE(set.onCommand("df:fb").empty());
    EXPECT_TRUE(set.onCommand("df:fa").empty());  // other kinds do not advance the count
    EXPECT_EQ(set.onCommand("df:fb"), (std::vector{TriggerAction::Pause, TriggerAction::Pull}));
    EXPECT_TRUE(set.onCommand("df:fb").empty());  // once only
    EXPECT_EQ(set.onCommand("ff04:11"), std::vector{TriggerAction::StallStatus});
}

}  // namespace
}  // namespace hil
