#include "viewer/StepRuns.h"

#include "viewer/steps/KeyCodes.h"

#include <QStringList>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

namespace orlix::test {

namespace {

bool isEsc(const StepEvent& event) {
    return event.kind == StepEvent::Kind::KeyDown && event.code == keycode::kEsc;
}

template <typename List> bool beginsWith(const List& whole, const List& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

std::string shown(const QStringList& items) {
    return items.join(QStringLiteral(" | ")).toStdString();
}

// A tick comes only while the slide timer runs, as Qt's would.
void deliver(MachineRig& rig, const StepEvent& event) {
    SlideStepMachine& machine = rig.machine;
    if (event.kind == StepEvent::Kind::Tick && rig.host.timer.running)
        machine.tick();
    else if (event.kind == StepEvent::Kind::KeyDown)
        machine.keyDown(event.code, event.shift);
    else if (event.kind == StepEvent::Kind::KeyUp)
        machine.keyUp(event.code, event.shift);
}

// Names the waits of each step: the how-manieth of its kind it is.
struct WaitCounter {
    Arrival next(int step, AnswerPolicy::Kind kind) { return {step, kind, ++counts[{step, kind}]}; }
    std::map<std::pair<int, AnswerPolicy::Kind>, int> counts;
};

// The single-threaded program: everything is answered at once, after the events of the held
// run's wait of the same name have joined the event queue.
class ReferenceRun : public AnswerPolicy {
public:
    ReferenceRun(const Scenario& scenario, const std::vector<Arrival>& arrivals)
        : events_(scenario.events), arrivals_(arrivals) {}

    void asked(const Request& request, std::function<void()> answer) override {
        const Arrival wait = waits_.next(rig->machine.stepsRun() + 1, request.kind);
        while (next_ < arrivals_.size() && arrivals_[next_].step != 0 && arrivals_[next_] == wait)
            arrive(events_[next_++], request.withProgress);
        answer();
    }

    Observed run() {
        rig->machine.load();
        deliver(*rig, StepEvent()); // the first tick comes as soon as the viewer is shown
        while (true) {
            while (!queue_.empty()) {
                const Queued queued = queue_.front();
                queue_.erase(queue_.begin());
                if (queued.event.kind != StepEvent::Kind::Tick ||
                    rig->host.timer.run == queued.timerRun)
                    deliver(*rig, queued.event);
            }
            if (next_ >= arrivals_.size())
                return rig->observed();
            diverged = diverged || arrivals_[next_].step != 0;
            deliver(*rig, events_[next_++]);
        }
    }

    MachineRig* rig = nullptr;
    bool diverged = false; // an event came during a wait the reference never made

private:
    struct Queued {
        StepEvent event;
        std::uint32_t timerRun = 0;
    };

    void arrive(const StepEvent& event, bool progressWindow) {
        if (event.kind != StepEvent::Kind::Tick) {
            if (!progressWindow || isEsc(event))
                queue_.push_back({event, 0});
            return;
        }
        // A timer that is not running does not fire; one that fires while the program is busy
        // fires once afterwards.
        const RecordingHost::Timer& timer = rig->host.timer;
        const auto sameRun = [&timer](const Queued& q) {
            return q.event.kind == StepEvent::Kind::Tick && q.timerRun == timer.run;
        };
        if (!progressWindow && timer.running && std::none_of(queue_.begin(), queue_.end(), sameRun))
            queue_.push_back({event, timer.run});
    }

    const std::vector<StepEvent>& events_;
    const std::vector<Arrival>& arrivals_;
    std::size_t next_ = 0;
    std::vector<Queued> queue_;
    WaitCounter waits_;
};

// The held run on the window-free machine: a listing or picture the scenario holds is kept
// until the events of its wait have come.
class MachineHeldRun : public HeldRun, public AnswerPolicy {
public:
    using HeldRun::HeldRun;

    void asked(const Request& request, std::function<void()> answer) override {
        const Arrival when = waits_.next(rig->machine.stepsRun() + 1, request.kind);
        // Nothing comes during the start-up's listings: the viewer is not shown yet.
        if (loading || scenario_.holdFor(request) < 0) {
            answer();
            return;
        }
        pending_ = std::move(answer);
        wait_ = {when, request};
    }

    MachineRig* rig = nullptr;
    bool loading = true;

protected:
    std::optional<Wait> waiting() const override {
        return pending_ ? std::optional<Wait>(wait_) : std::nullopt;
    }
    void endWait() override { std::exchange(pending_, nullptr)(); }
    void feed(const StepEvent& event) override { deliver(*rig, event); }
    bool closed() const override { return rig->machine.closed(); }

private:
    std::function<void()> pending_; // one wait at a time
    Wait wait_;
    WaitCounter waits_;
};

} // namespace

void Observed::takeState(const SlideStepMachine* machine, bool timerRunning) {
    running = timerRunning;
    realSize = Settings.RealSize;
    guide = Settings.Guide;
    closed = !machine || machine->closed();
    if (closed)
        return;
    const ViewerState& s = machine->state();
    if (s.fileIndex >= 0 && s.fileIndex < static_cast<int>(s.fileList.size()))
        picture = s.fileList[std::size_t(s.fileIndex)].Path;
    lastKey = s.lastKey;
    offset = {s.offsetX, s.offsetY};
}

std::string differences(const Observed& reference, const Observed& concurrent,
                        bool escapedDuringWait) {
    std::ostringstream out;
    const auto check = [&](bool same, const std::string& what) {
        if (!same)
            out << what << "\n";
    };
    const Observed& r = reference;
    const Observed& c = concurrent;
    if (escapedDuringWait) {
        check(r.closed && c.closed, "not both closed");
        check(beginsWith(r.captions, c.captions),
              "captions: " + shown(c.captions) + "\n  not a beginning of " + shown(r.captions));
        check(beginsWith(r.boxes, c.boxes), "boxes: " + shown(c.boxes));
    } else {
        check(r.captions == c.captions,
              "captions: " + shown(c.captions) + "\n  reference: " + shown(r.captions));
        check(r.boxes == c.boxes, "boxes: " + shown(c.boxes) + "\n  reference: " + shown(r.boxes));
        check(r.closed == c.closed, "closed: one is, one is not");
        check(r.picture == c.picture,
              "picture: " + c.picture.toStdString() + " reference " + r.picture.toStdString());
        check(r.lastKey == c.lastKey && r.running == c.running, "direction or running");
        check(r.offset == c.offset, "pan offsets");
    }
    check(r.realSize == c.realSize && r.guide == c.guide, "Settings.RealSize or Settings.Guide");
    check(r.realSizeChecks == c.realSizeChecks && r.guideChecks == c.guideChecks, "check boxes");
    return out.str();
}

void Scenario::start(const QString& root) const {
    Settings = settings;
    Settings.Path = root;
    Settings.ExtList = QStringLiteral("bmp|jpg|gif");
    Settings.Interval = 60; // no tick of its own on the window while the run lasts
}

bool HeldRun::drive() {
    std::size_t next = 0;
    std::optional<Arrival> counted;
    int toCome = 0;
    while (settle()) {
        const bool more = next < scenario_.events.size() && !closed();
        if (const std::optional<Wait> wait = waiting()) {
            if (!counted || !(*counted == wait->when)) {
                counted = wait->when;
                toCome = scenario_.holdFor(wait->request);
            }
            if (toCome > 0 && more) {
                --toCome;
                arrivals.push_back(wait->when);
                feed(scenario_.events[next++]);
                escapedDuringWait = escapedDuringWait || closed();
            } else {
                endWait();
            }
            continue;
        }
        if (!settled())
            continue;
        if (!more)
            return true;
        rest();
        arrivals.push_back({});
        feed(scenario_.events[next++]);
    }
    return false;
}

MachineRig::MachineRig(AnswerPolicy& policy, PolicySource::ListFunction list,
                       PolicySource::DecodeFunction decode, int guideHeightTwips)
    : host(guideHeightTwips), source(std::move(list), std::move(decode), policy),
      machine(host, source, source, Settings, &host, {1024 * 15, 768 * 15, 1.0}) {}

Observed MachineRig::observed() const {
    Observed observed(host);
    observed.takeState(&machine, host.timer.running);
    return observed;
}

RunPair compareRuns(const Scenario& scenario, const HeldRun& held, Observed concurrent,
                    PolicySource::ListFunction list, PolicySource::DecodeFunction decode,
                    int guideHeightTwips) {
    RunPair pair;
    pair.concurrent = std::move(concurrent);
    ReferenceRun reference(scenario, held.arrivals);
    MachineRig rig(reference, std::move(list), std::move(decode), guideHeightTwips);
    reference.rig = &rig;
    pair.reference = reference.run();
    pair.differences = differences(pair.reference, pair.concurrent, held.escapedDuringWait) +
                       (reference.diverged ? "an event came during a wait never made\n" : "");
    pair.waited = std::any_of(held.arrivals.begin(), held.arrivals.end(),
                              [](const Arrival& a) { return a.step != 0; });
    return pair;
}

RunPair runOnMachine(const Scenario& scenario) {
    scenario.start(scenario.tree.root);
    MachineHeldRun held(scenario);
    MachineRig rig(held, scenario.tree.lister(), scenario.tree.decoder());
    held.rig = &rig;
    rig.machine.load();
    held.loading = false;
    deliver(rig, StepEvent());
    held.drive();
    const Observed concurrent = rig.observed();
    scenario.start(scenario.tree.root);
    return compareRuns(scenario, held, concurrent, scenario.tree.lister(), scenario.tree.decoder());
}

void runRandomShows(const char* variable, int byDefault, unsigned seed, double waitedShare,
                    const std::function<RunPair(const Scenario&, std::mt19937&)>& run) {
    bool set = false;
    const int count = qEnvironmentVariableIntValue(variable, &set);
    const int sequences = set ? count : byDefault;
    std::mt19937 seeds(seed);
    int waited = 0;
    for (int i = 0; i < sequences; ++i) {
        const unsigned showSeed = seeds();
        std::mt19937 random(showSeed);
        const RunPair pair = run(randomScenario(random), random);
        ASSERT_EQ(pair.differences, "") << "show " << i << ", seed " << showSeed;
        waited += pair.waited ? 1 : 0;
    }
    EXPECT_GT(waited, sequences * waitedShare);
}

namespace {

using namespace keycode; // the keys of the scenarios

StepEvent tick() {
    return {StepEvent::Kind::Tick, 0, 0};
}
StepEvent down(std::int16_t code, std::int16_t shift = 0) {
    return {StepEvent::Kind::KeyDown, code, shift};
}

FakeTree::Picture picture(const char* name, QSize size = {40, 30}) {
    return {QString::fromLatin1(name), size, LoadError::None};
}

// Holds the pictures whose names end with `name` while `events` events come.
HoldFor holdPicture(const char* name, int events) {
    return [suffix = QLatin1Char('/') + QString::fromLatin1(name),
            events](const AnswerPolicy::Request& request) {
        return request.kind == AnswerPolicy::Kind::Picture && request.path.endsWith(suffix) ? events
                                                                                            : -1;
    };
}

SettingsRecord showSettings(std::int16_t autoNext, std::int16_t loop, std::int16_t realSize) {
    SettingsRecord settings;
    settings.Auto = autoNext;
    settings.Loop = loop;
    settings.RealSize = realSize;
    settings.Guide = 1;
    settings.Sort = 1; // a to e in that order, also on disk
    return settings;
}

} // namespace

Scenario randomScenario(std::mt19937& random) {
    const auto chance = [&](int percent) { return int(random() % 100) < percent; };
    const auto pick = [&](int count) { return int(random() % unsigned(count)); };
    Scenario s;
    // Small, the size of the screen, larger than it (it pans), and taller than it.
    const QSize sizes[] = {{40, 30}, {1024, 768}, {1200, 900}, {400, 900}};
    const LoadError failures[] = {LoadError::PathInvalid, LoadError::InvalidPicture};
    const auto pictures = [&](int count) {
        std::vector<FakeTree::Picture> list;
        for (int i = 0; i < count; ++i) {
            FakeTree::Picture p{QString::number(i) + QStringLiteral(".jpg"), sizes[pick(4)]};
            if (chance(12))
                p.error = failures[pick(2)];
            list.push_back(p);
        }
        return list;
    };
    s.settings.SubFolder = chance(50) ? 1 : 0;
    s.settings.Sort = chance(30) ? 1 : 0;
    s.settings.Loop = chance(50) ? 1 : 0;
    s.settings.Auto = chance(50) ? 1 : 0;
    s.settings.RealSize = chance(50) ? 1 : 0;
    s.settings.Guide = chance(50) ? 1 : 0;
    if (s.settings.SubFolder == 1) {
        s.tree.pictures = pictures(pick(2));
        for (int f = 0, folders = 1 + pick(3); f < folders; ++f)
            s.tree.folders.push_back({QStringLiteral("f") + QString::number(f), pictures(pick(4))});
        s.tree.folders[std::size_t(pick(int(s.tree.folders.size())))].pictures.push_back(
            picture("z.jpg"));
    } else {
        s.tree.pictures = pictures(1 + pick(5));
    }
    const std::int16_t keys[] = {kEnter, kUp, kDown, kLeft, kRight, kHome, kCtrl, kEsc, 65};
    std::discrete_distribution<std::size_t> keyWeights({12, 12, 12, 14, 16, 10, 10, 2, 4});
    const auto randomKey = [&] { return keys[keyWeights(random)]; }; // Esc rare: it ends the run
    for (int i = 0, count = 6 + pick(12); i < count; ++i) {
        const int roll = pick(100);
        if (roll < 35)
            s.events.push_back(tick());
        else if (roll < 88)
            s.events.push_back(down(randomKey(), chance(25) ? kShiftBit : 0));
        else
            s.events.push_back({StepEvent::Kind::KeyUp, randomKey(), 0});
    }
    const unsigned seed = random();
    s.holdFor = [hold = std::make_shared<std::mt19937>(seed)](const AnswerPolicy::Request&) {
        const int roll = int((*hold)() % 10);
        return roll < 3 ? -1 : roll % 4;
    };
    return s;
}

std::vector<FaultRow> faultRows() {
    FakeTree fiveFiles;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        fiveFiles.pictures.push_back(picture(name, {1200, 900}));
    FakeTree twoFolders;
    twoFolders.folders = {{QStringLiteral("x"), {picture("a.jpg")}},
                          {QStringLiteral("y"), {picture("c.jpg")}}};
    SettingsRecord inFolders = showSettings(0, 0, 0);
    inFolders.SubFolder = 1;
    // A tick moves from a to b, the next onto c, whose picture keeps the step waiting while
    // the rest comes.
    const auto onC = [&](std::int16_t realSize, std::vector<StepEvent> rest) {
        const int held = int(rest.size());
        rest.insert(rest.begin(), {tick(), tick()});
        return Scenario{fiveFiles, showSettings(0, 1, realSize), rest, holdPicture("c.jpg", held)};
    };
    return {
        {"Left restarts the timer, so the tick held after it is not delivered",
         onC(0, {down(kLeft), tick()}), QStringLiteral("b.jpg"), 0},
        {"Enter stops the timer: the show rests, paused, on c", onC(0, {down(kEnter), tick()}),
         QStringLiteral("c.jpg"), 0},
        {"a pan pauses the show, so it is kept", onC(1, {down(kRight, kShiftBit), tick()}),
         QStringLiteral("c.jpg"), 1},
        {"Esc during the wait keeps the switches of Home and Ctrl held before it",
         onC(0, {down(kHome), down(kCtrl), down(kEsc)}), std::nullopt, 1},
        {"Esc during the wait: a held step that ends the show ends it before Home",
         {twoFolders,
          inFolders,
          {down(kDown), down(kDown), down(kHome), down(kEsc)},
          holdPicture("c.jpg", 3)},
         std::nullopt,
         0},
    };
}

} // namespace orlix::test
