// Held ticks and keys against the single-threaded program on the real viewer window, whose
// decodes wait at a gate: a few hundred random shows (driving the window costs milliseconds a
// show), and the reported faults, on the window and on the machine.

#include "viewer/sources/PictureLoader.h"
#include "viewer/window/FormView.h"

#include "catalogue/ScanFolder.h"
#include "core/Settings.h"
#include "viewer/StepRuns.h"
#include "viewer/TreeScene.h"
#include "viewer/steps/KeyCodes.h"
#include "viewer/steps/SlideStepMachine.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <random>

namespace orlix::test {

bool HeldRun::drive() {
    std::size_t next = 0;
    QString counted;
    int toCome = 0;
    while (settle()) {
        const bool more = next < scenario_.events.size() && !closed();
        if (const std::optional<Wait> wait = waiting()) {
            if (counted != wait->name) {
                counted = wait->name;
                toCome = scenario_.holdFor(wait->asked);
            }
            if (toCome > 0 && more) {
                --toCome;
                arrivals.push_back(wait->name);
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
        arrivals.emplace_back();
        feed(scenario_.events[next++]);
    }
    return false;
}

namespace {

using Phase = SlideStepMachine::Phase;

// The held run on the window, over the scenario's tree written out (pictures as grey JPEGs of
// their sizes, undecodable ones as text, those that fail otherwise as folders): every decode
// waits at the gate. While a step waits for its picture, the events the scenario holds it for
// come, then its decode is let through. Decodes ahead are let through at random while the
// viewer rests, so that some steps find their picture ready, unless the scenario holds that
// picture back.
class WindowRun : public HeldRun {
public:
    WindowRun(const Scenario& scenario, std::mt19937& random)
        : HeldRun(scenario), scene_(true), random_(random) {
        static std::map<std::pair<int, int>, QByteArray> encoded; // made once a size
        for (const FakeTree::Picture& p : scenario.tree.pictures) {
            const QByteArray path = p.path.toUtf8();
            QByteArray& bytes = encoded[{p.size.width(), p.size.height()}];
            if (path.endsWith('/') || p.error == LoadError::PathInvalid) {
                scene_.mkdir(path);
            } else if (p.error == LoadError::InvalidPicture) {
                scene_.write(path, "not a picture");
            } else {
                bytes = bytes.isEmpty() ? pictureFile(p.size, qRgb(128, 128, 128), "JPEG") : bytes;
                scene_.write(path, bytes);
            }
        }
    }

    // The run, or none when it got stuck.
    std::optional<Observed> run() {
        scenario_.start(root());
        scene_.open(false);
        guideHeight = scene_.guideLabel(GuideLabel::Exit)->height() * 15;
        // The first step begins at the first tick, 1 ms after loading.
        if (!scene_.runUntil([&] {
                return phase() != Phase::Loading && (stepsRun() > 0 || phase() != Phase::Ready);
            }) ||
            !drive())
            return std::nullopt;
        const bool open = scene_.view;
        const Observed observed = observe(scene_, open ? &scene_.steps() : nullptr,
                                          open && scene_.intervalTimer()->isActive());
        scene_.close();
        return observed;
    }
    QString root() const { return scene_.folder; }

    int guideHeight = 0;

protected:
    bool settle() override {
        return scene_.runUntil([&] { return settled() || waiting(); });
    }
    // A decode cancelled at the gate leaves it on its own: a step may wait without its
    // decode at the gate for a moment.
    bool settled() const override { return phase() == Phase::Ready || phase() == Phase::Closed; }
    std::optional<Wait> waiting() const override {
        if (phase() != Phase::Decoding || scene_.gate->record().atGate != wanted())
            return std::nullopt;
        return Wait{waitName(stepsRun() + 1, false, 1), {false, false, '/' + wanted()}};
    }
    void endWait() override {
        const int step = stepsRun();
        const int released = scene_.gate->record().arrivals;
        scene_.gate->letOneThrough();
        scene_.runUntil([&] {
            const GatedDecoder::Record record = scene_.gate->record();
            return stepsRun() != step || phase() != Phase::Decoding || record.atGate.isEmpty() ||
                   record.arrivals != released;
        });
    }
    void rest() override {
        const QString ahead = scene_.gate->record().atGate;
        if (!ahead.isEmpty() && random_() % 2 == 0 &&
            scenario_.holdFor({false, false, '/' + ahead}) < 0)
            scene_.gate->letOneThrough();
    }
    void feed(const HeldEvent& event) override {
        const std::map<std::int16_t, Qt::Key> keys = {
            {keycode::kEsc, Qt::Key_Escape}, {keycode::kEnter, Qt::Key_Return},
            {keycode::kUp, Qt::Key_Up},      {keycode::kDown, Qt::Key_Down},
            {keycode::kLeft, Qt::Key_Left},  {keycode::kRight, Qt::Key_Right},
            {keycode::kHome, Qt::Key_Home},  {keycode::kCtrl, Qt::Key_Control}};
        const auto key = keys.find(event.code);
        const Qt::Key qtKey = key == keys.end() ? Qt::Key_A : key->second;
        const Qt::KeyboardModifiers shift =
            event.shift & keycode::kShiftBit ? Qt::ShiftModifier : Qt::NoModifier;
        FormView* view = scene_.view.data();
        if (event.kind == HeldEvent::Kind::Tick && scene_.intervalTimer()->isActive())
            view->TimInterval_Timer();
        else if (event.kind == HeldEvent::Kind::KeyDown)
            QTest::keyPress(view, qtKey, shift);
        else if (event.kind == HeldEvent::Kind::KeyUp)
            QTest::keyRelease(view, qtKey, shift);
    }
    bool closed() const override { return !scene_.view || scene_.steps().closed(); }

private:
    Phase phase() const { return scene_.view ? scene_.steps().phase() : Phase::Closed; }
    int stepsRun() const { return scene_.view ? scene_.steps().stepsRun() : -1; }
    // The file the step under way shows.
    QString wanted() const {
        const ViewerState& s = scene_.steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.section('/', -1);
    }

    TreeScene scene_;
    std::mt19937& random_;
};

// Runs a scenario on the window and its reference, the window-free machine with ScanFolder
// and the program's decoder called on the spot.
RunPair compareOnWindow(const Scenario& s, std::mt19937& random) {
    WindowRun window(s, random);
    std::optional<Observed> concurrent = window.run();
    if (!concurrent)
        return {{}, {}, "the window run got stuck"};
    s.start(window.root());
    const PictureLoader loader(std::make_shared<StandardPictureDecoder>());
    return compareRuns(
        s, window, std::move(*concurrent),
        [](const FolderLister::Request& r, EntryList& entries) {
            return ScanFolder(r.folder, entries, r.sortFlag, r.attrMask, r.extList);
        },
        [&loader](const QString& path, const SizeRequest& request) {
            const std::atomic<bool> never{false};
            return loader.load(path, request, false, nullptr, never);
        },
        window.guideHeight);
}

TEST(StepEquivalence, RandomShowsOnTheWindowRunAsTheSingleThreadedProgramWould) {
    runRandomShows("ORLIX_WINDOW_SEQUENCES", 200, 11, 1.0 / 3, compareOnWindow);
}

// The reported faults, with the result the reference gives.
struct FaultRow {
    const char* what;
    Scenario scenario;
    std::optional<QString> finalPicture; // its name; none: the viewer has closed
    std::int16_t realSizeAfter;
};
std::vector<FaultRow> faultRows() {
    using namespace keycode;
    // Holds the pictures whose names end with `name` while `events` events come.
    const auto holdPicture = [](const char* name, int events) {
        return [suffix = '/' + QString::fromLatin1(name), events](const Asked& asked) {
            return !asked.listing && asked.path.endsWith(suffix) ? events : -1;
        };
    };
    SettingsRecord inFiles;
    inFiles.Loop = inFiles.Guide = inFiles.Sort = 1; // a to e in that order, also on disk
    FakeTree fiveFiles;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        fiveFiles.pictures.push_back({QString::fromLatin1(name), {1200, 900}});
    // A tick moves from a to b, the next onto c, whose picture keeps the step waiting while
    // the rest comes.
    const auto onC = [&](std::int16_t realSize, std::vector<HeldEvent> rest) {
        const int held = int(rest.size());
        rest.insert(rest.begin(), {tick(), tick()});
        SettingsRecord settings = inFiles;
        settings.RealSize = realSize;
        return Scenario{fiveFiles, settings, rest, holdPicture("c.jpg", held)};
    };
    SettingsRecord inFolders = inFiles;
    inFolders.SubFolder = 1;
    inFolders.Loop = 0;
    const FakeTree twoFolders{"/show", {{"x/"}, {"x/a.jpg"}, {"y/"}, {"y/c.jpg"}}};
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

// Each reported fault on the machine, where its result is checked, and on the window.
TEST(StepEquivalence, TheReportedFaults) {
    std::mt19937 random(3);
    for (const FaultRow& row : faultRows()) {
        SCOPED_TRACE(row.what);
        for (const RunPair& pair :
             {runOnMachine(row.scenario), compareOnWindow(row.scenario, random)}) {
            EXPECT_EQ(pair.differences, "");
            EXPECT_TRUE(pair.waited);
            EXPECT_EQ(pair.reference.closed, !row.finalPicture.has_value());
            EXPECT_EQ(pair.reference.picture.section('/', -1),
                      row.finalPicture.value_or(QString()));
            EXPECT_EQ(pair.reference.realSize, row.realSizeAfter);
        }
    }
}

} // namespace
} // namespace orlix::test
