#pragma once

#include "core/Settings.h"
#include "support/ViewerScene.h"
#include "viewer/steps/FolderLister.h"
#include "viewer/steps/HeldEvents.h"
#include "viewer/steps/SlideStepMachine.h"

#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

// Two runs of the same show, compared: one with every listing and picture at hand the moment
// its step asks (the reference: the single-threaded program), one with them held back while
// events keep coming. An event is a tick of the slide timer (it comes only while the timer
// runs, as Qt's would) or a key pressed or released.
namespace orlix::test {

inline HeldEvent tick() {
    return {HeldEvent::Kind::Tick, 0, 0};
}
inline HeldEvent down(std::int16_t code, std::int16_t shift = 0) {
    return {HeldEvent::Kind::KeyDown, code, shift};
}

// A listing or a picture that a step asks for.
struct Asked {
    bool listing = false;
    bool withProgress = false;
    QString path;
};

// Where a run's listings and pictures come from: the fake tree, or ScanFolder and the
// program's decoder.
using ListFunction = std::function<bool(const FolderLister::Request&, EntryList&)>;
using DecodeFunction = std::function<PicturePtr(const QString& path, const SizeRequest&)>;

// What a run showed and left behind; where the viewer rests only while it is open.
struct Observed : ShowRecord {
    std::int16_t realSize = 0, guide = 0, lastKey = 0;
    bool closed = true, running = false;
    QString picture;
    QPoint offset;
};
// `record` with the switches of Settings, whether the slide timer runs and what the machine's
// state says (none: the viewer has gone).
Observed observe(const ShowRecord& record, const SlideStepMachine* machine, bool timerRunning);

// A folder tree in memory: its pictures by their paths below the root ("1.jpg", "b/1.jpg"),
// with their sizes or their failures, and its folders ("b/"), in the order they are listed.
struct FakeTree {
    struct Picture {
        QString path;
        QSize size{40, 30};
        LoadError error = LoadError::None;
    };
    QString root = QStringLiteral("/show");
    std::vector<Picture> pictures;
};

// A show: its folders, its settings, its input, and how many events come while a listing or
// picture is held back (-1: it is at hand at once).
struct Scenario {
    FakeTree tree;
    SettingsRecord settings;
    std::vector<HeldEvent> events;
    std::function<int(const Asked&)> holdFor;

    // Settings for a run over the folder `root` (all three picture types, a 60 s interval).
    void start(const QString& root) const;
};

// The name of a step's wait: the how-manieth of its kind in the step (one more than the steps
// ended before it).
QString waitName(int step, bool listing, int ordinal);

// The run with waits, on what a subclass drives: while a step waits, the events the scenario
// holds that wait for come, then the wait ends; otherwise the events come one at a time.
class HeldRun {
public:
    struct Wait {
        QString name;
        Asked asked;
    };
    explicit HeldRun(const Scenario& scenario) : scenario_(scenario) {}
    virtual ~HeldRun() = default;

    // False when the run got stuck.
    bool drive();
    std::vector<QString> arrivals; // the wait each event came during; "": none
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
    virtual void feed(const HeldEvent& event) = 0;
    virtual bool closed() const = 0;

    const Scenario& scenario_;
};

// Both runs of a scenario: empty `differences` when they agree.
struct RunPair {
    Observed reference;
    Observed concurrent;
    std::string differences;
    bool waited = false; // some event came during a wait
};

// `held` (which ended showing `concurrent`) against the reference run of `scenario`, its
// Settings started: events that came during a wait of the held run join an event queue during
// the wait of the same name here, as the program's window system would queue them, and are
// handled in order after the step: a tick only while the timer still runs the run it came
// from, nothing but Esc while a progress window is up. When Esc came during a wait, the held
// run closed at once: it shows a beginning of what the reference shows, and leaves the same
// switches.
RunPair compareRuns(const Scenario& scenario, const HeldRun& held, Observed concurrent,
                    ListFunction list, DecodeFunction decode, int guideHeightTwips);

// Both runs of a scenario on the window-free machine over its fake tree.
RunPair runOnMachine(const Scenario& scenario);

// Runs random shows through `run`, as many as the environment variable `variable` says (else
// `byDefault`), each from a seed drawn from `seed`: none may differ, and more than
// `waitedShare` of them must have had events come during a wait, which is what is tested.
void runRandomShows(const char* variable, int byDefault, unsigned seed, double waitedShare,
                    const std::function<RunPair(const Scenario&, std::mt19937&)>& run);

} // namespace orlix::test
