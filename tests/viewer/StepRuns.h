#pragma once

#include "core/Settings.h"
#include "viewer/StepFakes.h"
#include "viewer/steps/SlideStepMachine.h"

#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

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

// When an event came: during which wait of which step (one more than the steps ended before
// it; `ordinal` counts that step's waits of the same kind), or, with step 0, once the viewer
// had settled.
struct Arrival {
    int step = 0;
    AnswerPolicy::Kind kind = AnswerPolicy::Kind::Picture;
    int ordinal = 0;
    bool operator==(const Arrival& o) const {
        return step == o.step && kind == o.kind && ordinal == o.ordinal;
    }
};

// What a run showed and left behind; where the viewer rests only while it is open.
struct Observed : ShowRecord {
    Observed() = default;
    explicit Observed(const ShowRecord& record) : ShowRecord(record) {}

    std::int16_t realSize = 0;
    std::int16_t guide = 0;
    bool closed = false;
    QString picture;
    std::int16_t lastKey = 0;
    bool running = false;
    QPoint offset;

    // The switches of Settings, whether the slide timer runs and what the machine's state says
    // (none: the viewer has gone).
    void takeState(const SlideStepMachine* machine, bool timerRunning);
};

// Empty when `concurrent` shows what `reference` does, else what differs. When Esc came
// during a wait, the concurrent viewer closed at once: it shows a beginning of what the
// reference shows, and leaves the same switches.
std::string differences(const Observed& reference, const Observed& concurrent,
                        bool escapedDuringWait);

// How many events come while a listing or picture is held back; -1: it is at hand at once.
using HoldFor = std::function<int(const AnswerPolicy::Request&)>;

// A show: its folders, its settings and its input.
struct Scenario {
    FakeTree tree;
    SettingsRecord settings;
    std::vector<StepEvent> events;
    HoldFor holdFor;

    // Settings for a run over the folder `root` (all three picture types, a 60 s interval).
    void start(const QString& root) const;
};

// A few folders of pictures of assorted sizes, some failing, random switches, a dozen or so
// ticks and keys, and random waits.
Scenario randomScenario(std::mt19937& random);

// The reported faults, with the result the reference gives.
struct FaultRow {
    const char* what;
    Scenario scenario;
    std::optional<QString> finalPicture; // its name; none: the viewer has closed
    std::int16_t realSizeAfter;
};
std::vector<FaultRow> faultRows();

// The run with waits, on what a subclass drives: while a step waits, the events the scenario
// holds that wait for come, then the wait ends; otherwise the events come one at a time.
class HeldRun {
public:
    struct Wait {
        Arrival when;
        AnswerPolicy::Request request;
    };
    explicit HeldRun(const Scenario& scenario) : scenario_(scenario) {}
    virtual ~HeldRun() = default;

    // False when the run got stuck.
    bool drive();
    std::vector<Arrival> arrivals; // when each event came
    bool escapedDuringWait = false;

protected:
    // Runs until a step waits or nothing is under way; false when that never comes.
    virtual bool settle() { return true; }
    virtual std::optional<Wait> waiting() const = 0;
    // Nothing is under way (a wait may have ended on its own since settle()).
    virtual bool settled() const { return true; }
    virtual void endWait() = 0;
    // The viewer rests before the next event comes.
    virtual void rest() {}
    virtual void feed(const StepEvent& event) = 0;
    virtual bool closed() const = 0;

    const Scenario& scenario_;
};

// A machine on a 1024 x 768 screen whose listings and pictures come from `list` and `decode`
// when `policy` says.
struct MachineRig {
    MachineRig(AnswerPolicy& policy, PolicySource::ListFunction list,
               PolicySource::DecodeFunction decode, int guideHeightTwips = 17 * 15);
    Observed observed() const;

    RecordingHost host;
    PolicySource source;
    SlideStepMachine machine;
};

// Both runs of a scenario.
struct RunPair {
    Observed reference;
    Observed concurrent;
    std::string differences; // empty when they agree
    bool waited = false;     // some event came during a wait
};

// `held` (which ended showing `concurrent`) against the reference run of `scenario`, its
// Settings started: events that came during a wait of the held run join an event queue during
// the same wait here, as the program's window system would queue them, and are handled in
// order after the step: a tick only while the timer still runs the run it came from, nothing
// but Esc while a progress window is up.
RunPair compareRuns(const Scenario& scenario, const HeldRun& held, Observed concurrent,
                    PolicySource::ListFunction list, PolicySource::DecodeFunction decode,
                    int guideHeightTwips = 17 * 15);

// Both runs of a scenario on the window-free machine over its fake tree.
RunPair runOnMachine(const Scenario& scenario);

// Runs random shows through `run`, as many as the environment variable `variable` says (else
// `byDefault`), each from a seed drawn from `seed`: none may differ, and more than
// `waitedShare` of them must have had events come during a wait, which is what is tested.
void runRandomShows(const char* variable, int byDefault, unsigned seed, double waitedShare,
                    const std::function<RunPair(const Scenario&, std::mt19937&)>& run);

} // namespace orlix::test
