#pragma once

#include "app/Settings.h"
#include "viewer/StepFakes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace orlix {
class SlideStepMachine;
}

// Two runs of the same input, compared: one with every listing and picture at hand the moment
// its step asks (the reference: the single-threaded program), one with them held back while
// events keep coming.
namespace orlix::test {

// One input: a tick of the slide timer (it comes only while the timer runs, as Qt's would), or
// a key pressed or released.
struct StepEvent {
    enum class Kind { Tick, KeyDown, KeyUp };
    Kind kind = Kind::Tick;
    std::int16_t code = 0;
    std::int16_t shift = 0;
};

// When an event came: during which wait of which step (the step's number is one more than the
// steps ended before it; `ordinal` counts that step's waits of the same kind), or, with step
// 0, once the viewer had settled.
struct Arrival {
    int step = 0;
    AnswerPolicy::Kind kind = AnswerPolicy::Kind::Picture;
    int ordinal = 0;
    bool operator==(const Arrival& other) const {
        return step == other.step && kind == other.kind && ordinal == other.ordinal;
    }
};

// Counts the waits of each step, to name them.
class WaitCounter {
public:
    Arrival next(int step, AnswerPolicy::Kind kind);

private:
    int step_ = -1;
    int listings_ = 0;
    int pictures_ = 0;
};

// What a run showed and left behind.
struct Observed {
    std::vector<QString> captions, boxes;
    std::vector<std::int16_t> realSizeChecks, guideChecks;
    std::int16_t realSize = 0;
    std::int16_t guide = 0;
    bool closed = false;
    // Where the open viewer rests.
    QString picture;
    std::int16_t lastKey = 0;
    bool running = false;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;

    // The picture, direction and pan of the machine's state, and the switches of Settings.
    void takeState(const SlideStepMachine& machine);
};

// Empty when `concurrent` shows what `reference` does, else what differs. When Esc came
// during a wait, the concurrent viewer closed at once: it shows a beginning of what the
// reference shows, and leaves the same switches.
std::string differences(const Observed& reference, const Observed& concurrent,
                        bool escapedDuringWait);

// The single-threaded program's run: `machine` (built on `host` and collaborators that ask
// this policy) gets each event once the one before it has settled. Events that came during a
// wait of the other run join an event queue during the same wait here, as the program's window
// system would queue them, and are handled in order after the step: a tick only while the
// timer still runs the run it came from, nothing but Esc while a progress window is up.
class ReferenceRun : public AnswerPolicy {
public:
    ReferenceRun(std::vector<StepEvent> events, std::vector<Arrival> arrivals)
        : events_(std::move(events)), arrivals_(std::move(arrivals)) {}

    void asked(const Request& request, std::function<void()> answer) override;
    // Loads the show, starts it with the first tick and feeds the events.
    Observed run(SlideStepMachine& machine, RecordingHost& host);
    // An event came during a wait the reference never made.
    bool diverged() const { return diverged_; }

private:
    struct Queued {
        StepEvent event;
        std::uint32_t timerRun = 0;
    };
    void arrive(const StepEvent& event, bool progressWindow);
    void deliver(const Queued& queued);

    std::vector<StepEvent> events_;
    std::vector<Arrival> arrivals_;
    std::size_t next_ = 0;
    std::vector<Queued> queue_;
    SlideStepMachine* machine_ = nullptr;
    RecordingHost* host_ = nullptr;
    WaitCounter waits_;
    bool diverged_ = false;
};

// The run with waits: each listing and picture is held while as many events come as
// `holdFor` says (-1: answered before its request returns), then answered.
class HeldRun : public AnswerPolicy {
public:
    using HoldFor = std::function<int(const Request&)>;
    HeldRun(std::vector<StepEvent> events, HoldFor holdFor)
        : events_(std::move(events)), holdFor_(std::move(holdFor)) {}

    void asked(const Request& request, std::function<void()> answer) override;
    Observed run(SlideStepMachine& machine, RecordingHost& host);
    // When each event came, for the reference.
    const std::vector<Arrival>& arrivals() const { return arrivals_; }
    bool escapedDuringWait() const { return escapedDuringWait_; }

private:
    void feed(const StepEvent& event);

    std::vector<StepEvent> events_;
    HoldFor holdFor_;
    std::vector<Arrival> arrivals_;
    SlideStepMachine* machine_ = nullptr;
    RecordingHost* host_ = nullptr;
    WaitCounter waits_;
    bool loading_ = true;
    std::function<void()> pending_; // the answer held back; one wait at a time
    Arrival pendingWait_;
    int pendingEvents_ = 0;
    bool escapedDuringWait_ = false;
};

// A show to run: its folders, its settings (Path is the tree's root) and its input.
struct Scenario {
    FakeTree tree;
    SettingsRecord settings;
    std::vector<StepEvent> events;
    // How many events come while each listing and picture is held back; -1 none.
    HeldRun::HoldFor holdFor;
};

// A random show: a few folders of pictures of assorted sizes, some of them failing, random
// switches, a dozen or so ticks and keys, and random waits.
Scenario randomScenario(std::mt19937& random);

// The reported faults, as shows with the result the reference gives.
struct FaultRow {
    const char* what;
    Scenario scenario;
    std::optional<QString> finalPicture; // relative to the root; none: the viewer has closed
    std::int16_t realSizeAfter;
};
std::vector<FaultRow> faultRows();

// Both runs of a scenario on the window-free machine, on the fake tree.
struct RunPair {
    Observed reference;
    Observed concurrent;
    std::string differences; // empty when they agree
    bool waited = false;     // some event came during a wait
};
RunPair runOnMachine(const Scenario& scenario);

// The screen the runs use, and a guide label's height on it.
inline constexpr int kScreenWidthTwips = 1024 * 15;
inline constexpr int kScreenHeightTwips = 768 * 15;
inline constexpr int kGuideHeightTwips = 17 * 15;

} // namespace orlix::test
