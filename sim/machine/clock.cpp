#include "sim/machine/clock.h"

namespace sim {

void Clock::AdvanceTo(Millis when) {
    while (!events_.empty()) {
        auto first = events_.begin();
        if (first->first.first > when) break;
        if (first->first.first > now_) now_ = first->first.first;
        std::function<void()> action = std::move(first->second);
        events_.erase(first);
        action();
    }
    if (when > now_) now_ = when;
}

Clock::EventId Clock::Schedule(Millis when, std::function<void()> action) {
    const EventId id = nextId_++;
    events_.emplace(std::make_pair(when < now_ ? now_ : when, id), std::move(action));
    return id;
}

void Clock::Cancel(EventId id) {
    for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->first.second == id) {
            events_.erase(it);
            return;
        }
    }
}

std::optional<Clock::Millis> Clock::NextEventTime() const {
    if (events_.empty()) return std::nullopt;
    return events_.begin()->first.first;
}

}  // namespace sim
