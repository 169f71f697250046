// The virtual clock. Simulated time only moves when the tool sleeps, waits
// or idles in a message loop; nothing here ever waits in real time.
// Things that happen "later" on the machine (a device arriving, a service
// finishing its stop, a program ending) are events scheduled on this clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace sim {

class Clock {
public:
    using Millis = std::uint64_t;
    using EventId = std::uint64_t;

    Millis Now() const { return now_; }

    // Runs every event due up to and including `when`, in time order (events
    // due at the same moment run in the order they were scheduled), then
    // sets the time to `when`. An earlier `when` changes nothing.
    void AdvanceTo(Millis when);
    void AdvanceBy(Millis delta) { AdvanceTo(now_ + delta); }

    EventId Schedule(Millis when, std::function<void()> action);
    EventId ScheduleIn(Millis delay, std::function<void()> action) { return Schedule(now_ + delay, std::move(action)); }
    void Cancel(EventId id);
    std::optional<Millis> NextEventTime() const;

    // What GetTickCount reports: the machine has been up for a while.
    std::uint32_t TickCount() const { return static_cast<std::uint32_t>(kBootOffset + now_); }

private:
    static constexpr Millis kBootOffset = 3'600'000;
    Millis now_ = 0;
    EventId nextId_ = 1;
    // Keyed by (time, id): ids grow, so same-time events keep their order.
    std::map<std::pair<Millis, EventId>, std::function<void()>> events_;
};

}  // namespace sim
