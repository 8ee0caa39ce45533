#include "viewer/steps/HeldEvents.h"

#include <algorithm>

namespace orlix {

void HeldEvents::hold(const HeldEvent& event) {
    const auto sameRunTick = [&event](const HeldEvent& held) {
        return held.kind == HeldEvent::Kind::Tick && held.timerRun == event.timerRun;
    };
    if (event.kind == HeldEvent::Kind::Tick &&
        std::any_of(events_.begin(), events_.end(), sameRunTick))
        return;
    events_.push_back(event);
}

std::optional<HeldEvent> HeldEvents::takeNext() {
    if (events_.empty())
        return std::nullopt;
    const HeldEvent next = events_.front();
    events_.pop_front();
    return next;
}

} // namespace orlix
