#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/clock.h"
#include "sim/machine/machine.h"

namespace {

TEST(Clock, RunsDueEventsInTimeThenSchedulingOrder) {
    sim::Clock clock;
    std::vector<std::string> seen;
    clock.Schedule(500, [&] { seen.push_back("b@" + std::to_string(clock.Now())); });
    clock.Schedule(200, [&] { seen.push_back("a@" + std::to_string(clock.Now())); });
    clock.Schedule(500, [&] { seen.push_back("c@" + std::to_string(clock.Now())); });
    clock.AdvanceTo(499);
    EXPECT_EQ(seen, (std::vector<std::string>{"a@200"}));
    EXPECT_EQ(clock.Now(), 499u);
    clock.AdvanceBy(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"a@200", "b@500", "c@500"}));
}

TEST(Clock, EventsScheduledByEventsRunWhenDueAndCancelledOnesNever) {
    sim::Clock clock;
    int runs = 0;
    clock.Schedule(100, [&] {
        ++runs;
        clock.ScheduleIn(50, [&] { ++runs; });
    });
    const auto cancelled = clock.Schedule(120, [&] { runs += 100; });
    clock.Cancel(cancelled);
    clock.AdvanceTo(1000);
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(clock.NextEventTime().has_value());
}

TEST(Clock, SleepAndTickCountFollowVirtualTimeOnly) {
    sim::Machine machine;
    sim::MachineScope scope(machine);
    const DWORD before = GetTickCount();
    Sleep(60'000);
    EXPECT_EQ(GetTickCount() - before, 60'000u);
    EXPECT_EQ(machine.clock.Now(), 60'000u);
}

}  // namespace
