// The real viewer window against the single-threaded program: the random shows and the
// reported faults of the window-free equivalence test, run through a FormView whose decodes
// wait at a gate. Driving the window costs milliseconds a show, so a few hundred shows run
// here and the ten thousand on the window-free machine (SlideStepMachineTest).

#include "viewer/FormView.h"

#include "app/Settings.h"
#include "catalogue/ScanFolder.h"
#include "viewer/KeyCodes.h"
#include "viewer/StepRuns.h"
#include "viewer/ViewerScene.h"

#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>

namespace orlix::test {
namespace {

using Phase = SlideStepMachine::Phase;

// The scenario's tree in the scene's folder: pictures as grey JPEGs of their sizes,
// undecodable ones as text, those that fail otherwise as folders.
void writeTree(const FakeTree& fake, const TempTree& tree) {
    static std::map<std::pair<int, int>, QByteArray> encoded; // made once a size
    const auto write = [&](const QByteArray& folder, const FakeTree::Picture& p) {
        const QByteArray path = folder + p.name.toUtf8();
        if (p.error == LoadError::PathInvalid) {
            tree.mkdir(path);
        } else if (p.error == LoadError::InvalidPicture) {
            tree.write(path, "not a picture");
        } else {
            QByteArray& bytes = encoded[{p.size.width(), p.size.height()}];
            if (bytes.isEmpty())
                bytes = pictureFile(p.size, qRgb(128, 128, 128), "JPEG");
            tree.write(path, bytes);
        }
    };
    for (const FakeTree::Picture& p : fake.pictures)
        write("", p);
    for (const FakeTree::Folder& f : fake.folders) {
        tree.mkdir(f.name.toUtf8());
        for (const FakeTree::Picture& p : f.pictures)
            write(f.name.toUtf8() + '/', p);
    }
}

void startSettings(const Scenario& s, const QString& root) {
    Settings = s.settings;
    Settings.Path = root;
    Settings.ExtList = QStringLiteral("bmp|jpg|gif");
    Settings.Interval = 60; // no tick of its own while the run lasts
}

class WindowRun {
public:
    WindowRun(ViewerScene& scene, const Scenario& s) : scene_(scene), s_(s) {}

    // The run with waits, on the window: while a step waits for its picture, the events the
    // scenario holds it for come, then its decode is let through. Decodes ahead are let
    // through at random while the viewer rests, so that some steps find their picture ready.
    Observed run(std::mt19937& random) {
        startSettings(s_, scene_.tree.rootText());
        scene_.decoder = std::make_shared<GatedDecoder>(QString()); // every decode waits
        scene_.open(1.0, false);
        guideHeight = scene_.view->guideLabel(GuideLabel::Exit)->height() * 15;
        // The first step begins at the first tick, 1 ms after loading.
        quiet([&] {
            return phase() != Phase::Loading && (stepsRun() > 0 || phase() != Phase::Ready);
        });
        std::size_t next = 0;
        int heldStep = 0;
        int toCome = 0;
        while (quiet([&] {
            return phase() == Phase::Ready || phase() == Phase::Closed ||
                   (phase() == Phase::Decoding && scene_.decoder->atGate() == wanted());
        })) {
            const bool more = next < s_.events.size() && phase() != Phase::Closed;
            if (phase() == Phase::Decoding) {
                const int step = stepsRun() + 1;
                if (step != heldStep) {
                    heldStep = step;
                    toCome = std::max(0, s_.holdFor({AnswerPolicy::Kind::Picture, false,
                                                     QLatin1Char('/') + wanted()}));
                }
                if (toCome > 0 && more) {
                    --toCome;
                    arrivals.push_back({step, AnswerPolicy::Kind::Picture, 1});
                    feed(s_.events[next++]);
                    continue;
                }
                const int released = scene_.decoder->arrivals();
                scene_.decoder->letOneThrough();
                quiet([&] {
                    return stepsRun() != step - 1 || phase() != Phase::Decoding ||
                           scene_.decoder->atGate().isEmpty() ||
                           scene_.decoder->arrivals() != released;
                });
                continue;
            }
            // A decode ahead, unless of a picture the scenario holds back.
            const QString ahead = scene_.decoder->atGate();
            if (!ahead.isEmpty() && random() % 2 == 0 &&
                s_.holdFor({AnswerPolicy::Kind::Picture, false, QLatin1Char('/') + ahead}) < 0)
                scene_.decoder->letOneThrough();
            if (!more)
                break;
            arrivals.push_back({});
            feed(s_.events[next++]);
        }
        Observed observed;
        observed.captions.assign(scene_.captions.begin(), scene_.captions.end());
        observed.boxes.assign(scene_.boxes.begin(), scene_.boxes.end());
        observed.realSizeChecks = scene_.realSizeChecks;
        observed.guideChecks = scene_.guideChecks;
        if (scene_.view) {
            observed.takeState(scene_.view->steps());
            observed.running = scene_.view->intervalTimer()->isActive();
        } else {
            observed.closed = true;
            observed.realSize = Settings.RealSize;
            observed.guide = Settings.Guide;
        }
        scene_.close();
        return observed;
    }

    std::vector<Arrival> arrivals;
    bool escapedDuringWait = false;
    bool stuck = false;
    int guideHeight = 0;

private:
    Phase phase() const { return scene_.view ? scene_.view->steps().phase() : Phase::Closed; }
    int stepsRun() const { return scene_.view ? scene_.view->stepsRun() : -1; }
    // The file the step under way shows.
    QString wanted() const {
        const ViewerState& s = scene_.view->steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.section(QLatin1Char('/'), -1);
    }
    bool quiet(const std::function<bool()>& done) {
        if (ViewerScene::runUntil([&] { return !scene_.view || done(); }))
            return true;
        stuck = true;
        return false;
    }
    void feed(const StepEvent& event) {
        const bool waiting = phase() == Phase::Decoding;
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
        switch (event.kind) {
        case StepEvent::Kind::Tick:
            if (view->intervalTimer()->isActive())
                view->TimInterval_Timer();
            break;
        case StepEvent::Kind::KeyDown:
            QTest::keyPress(view, qtKey, shift);
            break;
        case StepEvent::Kind::KeyUp:
            QTest::keyRelease(view, qtKey, shift);
            break;
        }
        escapedDuringWait = escapedDuringWait || (waiting && phase() != Phase::Decoding &&
                                                  (!scene_.view || scene_.view->steps().closed()));
    }

    ViewerScene& scene_;
    const Scenario& s_;
};

// The reference for a window run: the window-free machine with ScanFolder and the program's
// decoder called on the spot.
Observed referenceOnDisk(const Scenario& s, const WindowRun& window, const QString& root) {
    startSettings(s, root);
    RecordingHost host(window.guideHeight);
    ReferenceRun reference(s.events, window.arrivals);
    PolicyLister lister(
        [](const FolderLister::Request& r, EntryList& entries) {
            return ScanFolder(r.folder, entries, r.sortFlag, r.attrMask, r.extList);
        },
        reference);
    const StandardPictureDecoder decoder;
    PolicyPictures pictures(
        [&decoder](const QString& path, const ViewParams& view) {
            const std::atomic<bool> never{false};
            return std::make_shared<const DecodedPicture>(
                decoder.decode(DecodeRequest{path, nullptr, view, false}, never));
        },
        reference);
    SlideStepMachine machine(host, pictures, lister, &host,
                             {kScreenWidthTwips, kScreenHeightTwips, 1.0});
    Observed observed = reference.run(machine, host);
    EXPECT_FALSE(reference.diverged());
    return observed;
}

// Runs a scenario on the window and its reference; what differs, or "".
std::string compareOnWindow(const Scenario& s, std::mt19937& random, bool& waited) {
    ViewerScene scene;
    writeTree(s.tree, scene.tree);
    WindowRun window(scene, s);
    const Observed concurrent = window.run(random);
    if (window.stuck)
        return "the window run got stuck";
    const Observed reference = referenceOnDisk(s, window, scene.tree.rootText());
    waited = std::any_of(window.arrivals.begin(), window.arrivals.end(),
                         [](const Arrival& a) { return a.step != 0; });
    return differences(reference, concurrent, window.escapedDuringWait);
}

TEST(StepEquivalence, RandomShowsOnTheWindowRunAsTheSingleThreadedProgramWould) {
    bool set = false;
    const int count = qEnvironmentVariableIntValue("ORLIX_WINDOW_SEQUENCES", &set);
    const int sequences = set ? count : 200;
    std::mt19937 seeds(11);
    int waited = 0;
    for (int i = 0; i < sequences; ++i) {
        const unsigned seed = seeds();
        std::mt19937 random(seed);
        const Scenario s = randomScenario(random);
        bool wait = false;
        ASSERT_EQ(compareOnWindow(s, random, wait), "") << "show " << i << ", seed " << seed;
        waited += wait ? 1 : 0;
    }
    EXPECT_GT(waited, sequences / 3);
}

TEST(StepEquivalence, TheReportedFaultsOnTheWindow) {
    std::mt19937 random(3);
    for (const FaultRow& row : faultRows()) {
        SCOPED_TRACE(row.what);
        bool waited = false;
        EXPECT_EQ(compareOnWindow(row.scenario, random, waited), "");
        EXPECT_TRUE(waited);
    }
}

} // namespace
} // namespace orlix::test
