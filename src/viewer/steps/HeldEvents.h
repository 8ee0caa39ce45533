#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace orlix {

// A tick or key that came while a slide step was under way, to be handled after it.
struct HeldEvent {
    enum class Kind { Tick, KeyDown, KeyUp };
    Kind kind = Kind::Tick;
    std::int16_t code = 0; // the viewer's key code and shift state, for keys
    std::int16_t shift = 0;
    // For a tick: the run of the slide timer it came from (each start, stop or restart of the
    // timer begins a new one). A tick of a run that has ended is never delivered.
    std::uint32_t timerRun = 0;

    bool operator==(const HeldEvent& other) const {
        return kind == other.kind && code == other.code && shift == other.shift &&
               timerRun == other.timerRun;
    }
};

// The events held back during a step, in the order they came.
class HeldEvents {
public:
    // A tick is dropped while one of the same timer run is held already: a timer that fires
    // while its thread is busy fires once afterwards, not once per period.
    void hold(const HeldEvent& event);
    // The oldest held event, taken out; none when nothing is held.
    std::optional<HeldEvent> takeNext();
    bool empty() const { return events_.empty(); }
    void clear() { events_.clear(); }

private:
    std::deque<HeldEvent> events_;
};

} // namespace orlix
