#include "viewer/StepRuns.h"

#include "app/Settings.h"
#include "viewer/KeyCodes.h"
#include "viewer/SlideStepMachine.h"

#include <QStringList>

#include <algorithm>
#include <sstream>
#include <utility>

namespace orlix::test {

namespace {

bool isEsc(const StepEvent& event) {
    return event.kind == StepEvent::Kind::KeyDown && event.code == keycode::kEsc;
}

template <typename T> bool beginsWith(const std::vector<T>& whole, const std::vector<T>& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

std::string shown(const std::vector<QString>& items) {
    return QStringList(items.begin(), items.end()).join(QStringLiteral(" | ")).toStdString();
}

} // namespace

Arrival WaitCounter::next(int step, AnswerPolicy::Kind kind) {
    if (step != step_) {
        step_ = step;
        listings_ = pictures_ = 0;
    }
    int& count = kind == AnswerPolicy::Kind::Listing ? listings_ : pictures_;
    return {step, kind, ++count};
}

void Observed::takeState(const SlideStepMachine& machine) {
    realSize = Settings.RealSize;
    guide = Settings.Guide;
    closed = machine.closed();
    if (closed)
        return;
    const ViewerState& s = machine.state();
    if (s.fileIndex >= 0 && s.fileIndex < static_cast<int>(s.fileList.size()))
        picture = s.fileList[std::size_t(s.fileIndex)].Path;
    lastKey = s.lastKey;
    offsetX = s.offsetX;
    offsetY = s.offsetY;
}

std::string differences(const Observed& reference, const Observed& concurrent,
                        bool escapedDuringWait) {
    std::ostringstream out;
    const auto check = [&](bool same, const std::string& what) {
        if (!same)
            out << what << "\n";
    };
    if (escapedDuringWait) {
        check(reference.closed && concurrent.closed, "not both closed");
        check(beginsWith(reference.captions, concurrent.captions),
              "captions: " + shown(concurrent.captions) + "\n  not a beginning of " +
                  shown(reference.captions));
        check(beginsWith(reference.boxes, concurrent.boxes), "boxes: " + shown(concurrent.boxes));
    } else {
        check(reference.captions == concurrent.captions,
              "captions: " + shown(concurrent.captions) +
                  "\n  reference: " + shown(reference.captions));
        check(reference.boxes == concurrent.boxes,
              "boxes: " + shown(concurrent.boxes) + "\n  reference: " + shown(reference.boxes));
        check(reference.closed == concurrent.closed, "closed: one is, one is not");
        if (!reference.closed && !concurrent.closed) {
            check(reference.picture == concurrent.picture,
                  "picture: " + concurrent.picture.toStdString() + " reference " +
                      reference.picture.toStdString());
            check(reference.lastKey == concurrent.lastKey, "direction");
            check(reference.running == concurrent.running, "running or paused");
            check(reference.offsetX == concurrent.offsetX &&
                      reference.offsetY == concurrent.offsetY,
                  "pan offsets");
        }
    }
    check(reference.realSize == concurrent.realSize && reference.guide == concurrent.guide,
          "Settings.RealSize or Settings.Guide");
    check(reference.realSizeChecks == concurrent.realSizeChecks &&
              reference.guideChecks == concurrent.guideChecks,
          "check boxes");
    return out.str();
}

void ReferenceRun::asked(const Request& request, std::function<void()> answer) {
    const Arrival wait = waits_.next(machine_->stepsRun() + 1, request.kind);
    while (next_ < arrivals_.size() && arrivals_[next_].step != 0 && arrivals_[next_] == wait)
        arrive(events_[next_++], request.withProgress);
    answer();
}

void ReferenceRun::arrive(const StepEvent& event, bool progressWindow) {
    if (event.kind == StepEvent::Kind::Tick) {
        // A timer that is not running does not fire; one that fires while the program is busy
        // fires once afterwards.
        if (progressWindow || !host_->timer.running)
            return;
        const std::uint32_t run = host_->timer.run;
        if (std::none_of(queue_.begin(), queue_.end(), [run](const Queued& q) {
                return q.event.kind == StepEvent::Kind::Tick && q.timerRun == run;
            }))
            queue_.push_back({event, run});
        return;
    }
    if (!progressWindow || isEsc(event))
        queue_.push_back({event, 0});
}

void ReferenceRun::deliver(const Queued& queued) {
    const StepEvent& event = queued.event;
    switch (event.kind) {
    case StepEvent::Kind::Tick:
        if (host_->timer.running && host_->timer.run == queued.timerRun)
            machine_->tick();
        return;
    case StepEvent::Kind::KeyDown:
        machine_->keyDown(event.code, event.shift);
        return;
    case StepEvent::Kind::KeyUp:
        machine_->keyUp(event.code, event.shift);
        return;
    }
}

Observed ReferenceRun::run(SlideStepMachine& machine, RecordingHost& host) {
    machine_ = &machine;
    host_ = &host;
    machine.load();
    if (host.timer.running)
        machine.tick(); // the first tick comes as soon as the viewer is shown
    while (true) {
        while (!queue_.empty()) {
            const Queued queued = queue_.front();
            queue_.erase(queue_.begin());
            deliver(queued);
        }
        if (next_ >= arrivals_.size())
            break;
        diverged_ = diverged_ || arrivals_[next_].step != 0;
        const StepEvent event = events_[next_++];
        if (event.kind != StepEvent::Kind::Tick || host.timer.running)
            deliver({event, host.timer.run});
    }
    Observed observed;
    observed.captions = host.captions;
    observed.boxes = host.boxes;
    observed.realSizeChecks = host.realSizeChecks;
    observed.guideChecks = host.guideChecks;
    observed.running = host.timer.running;
    observed.takeState(machine);
    return observed;
}

void HeldRun::asked(const Request& request, std::function<void()> answer) {
    const Arrival wait = waits_.next(machine_->stepsRun() + 1, request.kind);
    // Nothing comes during the start-up's listings: the viewer is not shown yet.
    const int hold = loading_ ? -1 : holdFor_(request);
    if (hold < 0) {
        answer();
        return;
    }
    pending_ = std::move(answer);
    pendingWait_ = wait;
    pendingEvents_ = hold;
}

void HeldRun::feed(const StepEvent& event) {
    const bool waiting = bool(pending_);
    switch (event.kind) {
    case StepEvent::Kind::Tick:
        if (host_->timer.running)
            machine_->tick();
        break;
    case StepEvent::Kind::KeyDown:
        machine_->keyDown(event.code, event.shift);
        break;
    case StepEvent::Kind::KeyUp:
        machine_->keyUp(event.code, event.shift);
        break;
    }
    escapedDuringWait_ = escapedDuringWait_ || (waiting && machine_->closed());
}

Observed HeldRun::run(SlideStepMachine& machine, RecordingHost& host) {
    machine_ = &machine;
    host_ = &host;
    machine.load();
    loading_ = false;
    if (host.timer.running)
        machine.tick();
    std::size_t i = 0;
    while (true) {
        const bool more = i < events_.size() && !machine.closed();
        if (pending_ && (pendingEvents_ == 0 || !more)) {
            std::exchange(pending_, nullptr)();
        } else if (more) {
            arrivals_.push_back(pending_ ? pendingWait_ : Arrival{});
            pendingEvents_ -= pending_ ? 1 : 0;
            feed(events_[i++]);
        } else {
            break;
        }
    }
    Observed observed;
    observed.captions = host.captions;
    observed.boxes = host.boxes;
    observed.realSizeChecks = host.realSizeChecks;
    observed.guideChecks = host.guideChecks;
    observed.running = host.timer.running;
    observed.takeState(machine);
    return observed;
}

} // namespace orlix::test

namespace orlix::test {

namespace {

using keycode::kCtrl;
using keycode::kDown;
using keycode::kEnter;
using keycode::kEsc;
using keycode::kHome;
using keycode::kLeft;
using keycode::kRight;
using keycode::kShiftBit;
using keycode::kUp;

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
HeldRun::HoldFor holdPicture(const char* name, int events) {
    return [suffix = QLatin1Char('/') + QString::fromLatin1(name),
            events](const AnswerPolicy::Request& request) {
        return request.kind == AnswerPolicy::Kind::Picture && request.path.endsWith(suffix) ? events
                                                                                            : -1;
    };
}

SettingsRecord showSettings(std::int16_t autoNext, std::int16_t loop, std::int16_t realSize) {
    SettingsRecord settings;
    settings.Interval = 1;
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
    s.settings.Interval = std::int16_t(1 + pick(3));
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
    const int keyWeights[] = {12, 12, 12, 14, 16, 10, 10, 2, 4}; // Esc rare: it ends the run
    const auto randomKey = [&] {
        int n = pick(92);
        std::size_t k = 0;
        while (n >= keyWeights[k])
            n -= keyWeights[k++];
        return keys[k];
    };
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
    // In each, a tick moves from a to b, the next onto c, whose picture keeps the step waiting
    // while the rest comes.
    const std::vector<StepEvent> toC = {tick(), tick()};
    const auto then = [&](std::vector<StepEvent> more) {
        std::vector<StepEvent> all = toC;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    SettingsRecord inFolders = showSettings(0, 0, 0);
    inFolders.SubFolder = 1;
    return {
        {"Left restarts the timer, so the tick held after it is not delivered",
         {fiveFiles, showSettings(0, 1, 0), then({down(kLeft), tick()}), holdPicture("c.jpg", 2)},
         QStringLiteral("b.jpg"),
         0},
        {"Enter stops the timer: the show rests, paused, on c",
         {fiveFiles, showSettings(0, 1, 0), then({down(kEnter), tick()}), holdPicture("c.jpg", 2)},
         QStringLiteral("c.jpg"),
         0},
        {"a pan pauses the show, so it is kept",
         {fiveFiles, showSettings(0, 1, 1), then({down(kRight, kShiftBit), tick()}),
          holdPicture("c.jpg", 2)},
         QStringLiteral("c.jpg"),
         1},
        {"Esc during the wait keeps the switches of Home and Ctrl held before it",
         {fiveFiles, showSettings(0, 1, 0), then({down(kHome), down(kCtrl), down(kEsc)}),
          holdPicture("c.jpg", 3)},
         std::nullopt,
         1},
        {"Esc during the wait: a held step that ends the show ends it before Home",
         {twoFolders,
          inFolders,
          {down(kDown), down(kDown), down(kHome), down(kEsc)},
          holdPicture("c.jpg", 3)},
         std::nullopt,
         0},
    };
}

RunPair runOnMachine(const Scenario& scenario) {
    const SlideStepMachine::Screen screen{kScreenWidthTwips, kScreenHeightTwips, 1.0};
    const auto list = [&tree = scenario.tree](const FolderLister::Request& r, EntryList& e) {
        return tree.list(r.folder, r.attrMask, e);
    };
    const auto decode = [&tree = scenario.tree](const QString& path, const ViewParams& view) {
        return tree.decode(path, view);
    };
    const auto start = [&] {
        Settings = scenario.settings;
        Settings.Path = scenario.tree.root;
    };
    RunPair pair;
    start();
    RecordingHost heldHost(kGuideHeightTwips);
    HeldRun held(scenario.events, scenario.holdFor);
    PolicyLister heldLister(list, held);
    PolicyPictures heldPictures(decode, held);
    SlideStepMachine heldMachine(heldHost, heldPictures, heldLister, &heldHost, screen);
    pair.concurrent = held.run(heldMachine, heldHost);

    start();
    RecordingHost host(kGuideHeightTwips);
    ReferenceRun reference(scenario.events, held.arrivals());
    PolicyLister lister(list, reference);
    PolicyPictures pictures(decode, reference);
    SlideStepMachine machine(host, pictures, lister, &host, screen);
    pair.reference = reference.run(machine, host);

    pair.differences =
        differences(pair.reference, pair.concurrent, held.escapedDuringWait()) +
        (reference.diverged() ? "an event came during a wait the reference never made\n" : "");
    pair.waited = std::any_of(held.arrivals().begin(), held.arrivals().end(),
                              [](const Arrival& a) { return a.step != 0; });
    return pair;
}

} // namespace orlix::test
