// The slide steps: their rules on the window-free machine, and held ticks and keys against the
// single-threaded program, on the machine and on the real viewer window, whose decodes wait at
// a gate. Driving the window costs milliseconds a show, so a few hundred shows run there and
// ten thousand on the machine.

#include "viewer/sources/PictureLoader.h"
#include "viewer/window/FormView.h"

#include "catalogue/ScanFolder.h"
#include "core/Settings.h"
#include "viewer/StepRuns.h"
#include "viewer/ViewerScene.h"
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
namespace {

using Phase = SlideStepMachine::Phase;

struct AtOnce : AnswerPolicy {
    void asked(const Request&, std::function<void()> answer) override { answer(); }
};

FakeTree::Folder folder(const char* name, std::vector<const char*> pictures) {
    FakeTree::Folder f{QString::fromLatin1(name), {}};
    for (const char* picture : pictures)
        f.pictures.push_back({QString::fromLatin1(picture), QSize(40, 30)});
    return f;
}

// Each row starts a show (with sub-folders, at b/1.bmp; without, at top.bmp), changes the
// tree as it says, then takes its steps: t a tick, R L U D the arrow keys, E Esc.
TEST(SteppingRules, WrapsThroughFilesAndFoldersListingEachAfresh) {
    FakeTree base;
    base.pictures = folder("", {"top.bmp"}).pictures; // with sub-folders: not shown
    base.folders = {folder("a-empty", {}), folder("b", {"1.bmp", "2.gif"}),
                    folder("c", {"1.jpg", "2.bmp"})};
    const std::int16_t keys[] = {keycode::kRight, keycode::kLeft, keycode::kUp, keycode::kDown,
                                 keycode::kEsc};
    const auto none = [](FakeTree&) {};
    const auto emptyC = [](FakeTree& t) { t.folders[2].pictures.clear(); };
    const struct {
        std::int16_t subFolder, loop, autoNext;
        std::function<void(FakeTree&)> change;
        const char* steps;
        std::vector<const char*> shown; // "": the viewer has closed
    } cases[] = {
        {1, 0, 1, none, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", ""}},
        {1, 1, 1, none, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", "b/1.bmp"}},
        {1, 1, 0, none, "tt", {"b/2.gif", "b/1.bmp"}},
        {1, 1, 1, none, "Lt", {"b/2.gif", "b/1.bmp"}}, // the show now runs backwards
        {1, 0, 0, none, "RUD", {"b/2.gif", "c/1.jpg", ""}},
        {1, 1, 0, none, "DDE", {"c/1.jpg", "b/1.bmp", ""}},
        {1, 0, 0, none, "UU", {"c/1.jpg", "b/1.bmp"}}, // backwards wraps whatever Loop says
        // A search ends after one pass: round to the one folder with pictures, or closed.
        {1, 1, 1, emptyC, "DD", {"b/1.bmp", "b/1.bmp"}},
        {1, 1, 1, [&](FakeTree& t) { emptyC(t), t.folders[1].pictures.clear(); }, "D", {""}},
        // A single folder is read again on its wrap.
        {0,
         1,
         1,
         [](FakeTree& t) {
             t.pictures.insert(t.pictures.begin(), {"0.bmp", {4, 3}});
         },
         "t",
         {"0.bmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " loop " << c.loop << " auto " << c.autoNext);
        FakeTree tree = base;
        Settings = SettingsRecord();
        Settings.SubFolder = c.subFolder;
        Settings.Loop = c.loop;
        Settings.Auto = c.autoNext;
        Settings.Path = tree.root;
        AtOnce atOnce;
        MachineRig rig(atOnce, tree.lister(), tree.decoder());
        const auto shown = [&] { // relative to the root
            const Observed now = rig.observed();
            return now.closed ? QString() : now.picture.mid(tree.root.size() + 1);
        };
        rig.machine.load();
        rig.machine.tick();
        ASSERT_EQ(shown(), c.subFolder == 1 ? "b/1.bmp" : "top.bmp");
        c.change(tree);
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            if (c.steps[i] == 't')
                rig.machine.tick();
            else
                rig.machine.keyDown(keys[QByteArray("RLUDE").indexOf(c.steps[i])], 0);
            EXPECT_EQ(shown(), QString::fromUtf8(c.shown[i])) << i;
        }
    }
}

// Each random show runs twice on the window-free machine with the fake tree, once with
// listings and pictures at hand and once with them held back while events come. Set
// ORLIX_STEP_SEQUENCES for a longer run.
TEST(StepEquivalence, RandomShowsRunAsTheSingleThreadedProgramWould) {
    runRandomShows("ORLIX_STEP_SEQUENCES", 10000, 7, 0.5,
                   [](const Scenario& s, std::mt19937&) { return runOnMachine(s); });
}

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

// The held run on the window: every decode waits at the gate. While a step waits for its
// picture, the events the scenario holds it for come, then its decode is let through. Decodes
// ahead are let through at random while the viewer rests, so that some steps find their
// picture ready, unless the scenario holds that picture back.
class WindowRun : public HeldRun {
public:
    WindowRun(ViewerScene& scene, const Scenario& scenario, std::mt19937& random)
        : HeldRun(scenario), scene_(scene), random_(random) {}

    // The run, or none when it got stuck.
    std::optional<Observed> run() {
        scenario_.start(scene_.tree.rootText());
        scene_.decoder = std::make_shared<GatedDecoder>(true);
        scene_.open(1.0, false);
        guideHeight = scene_.guideLabel(GuideLabel::Exit)->height() * 15;
        // The first step begins at the first tick, 1 ms after loading.
        if (!ViewerScene::runUntil([&] {
                return phase() != Phase::Loading && (stepsRun() > 0 || phase() != Phase::Ready);
            }) ||
            !drive())
            return std::nullopt;
        Observed observed(scene_);
        observed.takeState(scene_.view ? &scene_.steps() : nullptr,
                           scene_.view && scene_.intervalTimer()->isActive());
        scene_.close();
        return observed;
    }

    int guideHeight = 0;

protected:
    bool settle() override {
        return ViewerScene::runUntil([&] { return settled() || waiting(); });
    }
    // A decode cancelled at the gate leaves it on its own: a step may wait without its
    // decode at the gate for a moment.
    bool settled() const override { return phase() == Phase::Ready || phase() == Phase::Closed; }
    std::optional<Wait> waiting() const override {
        if (phase() != Phase::Decoding || scene_.decoder->record().atGate != wanted())
            return std::nullopt;
        return Wait{{stepsRun() + 1, AnswerPolicy::Kind::Picture, 1},
                    {AnswerPolicy::Kind::Picture, false, QLatin1Char('/') + wanted()}};
    }
    void endWait() override {
        const int step = stepsRun();
        const int released = scene_.decoder->record().arrivals;
        scene_.decoder->letOneThrough();
        ViewerScene::runUntil([&] {
            return stepsRun() != step || phase() != Phase::Decoding ||
                   scene_.decoder->record().atGate.isEmpty() ||
                   scene_.decoder->record().arrivals != released;
        });
    }
    void rest() override {
        const QString ahead = scene_.decoder->record().atGate;
        if (!ahead.isEmpty() && random_() % 2 == 0 &&
            scenario_.holdFor({AnswerPolicy::Kind::Picture, false, QLatin1Char('/') + ahead}) < 0)
            scene_.decoder->letOneThrough();
    }
    void feed(const StepEvent& event) override {
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
        if (event.kind == StepEvent::Kind::Tick && scene_.intervalTimer()->isActive())
            view->TimInterval_Timer();
        else if (event.kind == StepEvent::Kind::KeyDown)
            QTest::keyPress(view, qtKey, shift);
        else if (event.kind == StepEvent::Kind::KeyUp)
            QTest::keyRelease(view, qtKey, shift);
    }
    bool closed() const override { return !scene_.view || scene_.steps().closed(); }

private:
    Phase phase() const { return scene_.view ? scene_.steps().phase() : Phase::Closed; }
    int stepsRun() const { return scene_.view ? scene_.steps().stepsRun() : -1; }
    // The file the step under way shows.
    QString wanted() const {
        const ViewerState& s = scene_.steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.section(QLatin1Char('/'), -1);
    }

    ViewerScene& scene_;
    std::mt19937& random_;
};

// Runs a scenario on the window and its reference, the window-free machine with ScanFolder
// and the program's decoder called on the spot.
RunPair compareOnWindow(const Scenario& s, std::mt19937& random) {
    ViewerScene scene;
    writeTree(s.tree, scene.tree);
    WindowRun window(scene, s, random);
    std::optional<Observed> concurrent = window.run();
    if (!concurrent)
        return {{}, {}, "the window run got stuck", false};
    s.start(scene.tree.rootText());
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
            EXPECT_EQ(pair.reference.picture.section(QLatin1Char('/'), -1),
                      row.finalPicture.value_or(QString()));
            EXPECT_EQ(pair.reference.realSize, row.realSizeAfter);
        }
    }
}

} // namespace
} // namespace orlix::test
