// The slide steps without a window: held ticks and keys against the single-threaded program.

#include "viewer/SlideStepMachine.h"
#include "viewer/KeyCodes.h"
#include "viewer/StepRuns.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace orlix::test {
namespace {

class AtOnce : public AnswerPolicy {
public:
    void asked(const Request&, std::function<void()> answer) override { answer(); }
};

// A show on the window-free machine over a fake tree, every listing and picture at hand.
class MachineShow {
public:
    explicit MachineShow(const FakeTree& tree) : tree_(tree) {
        Settings.Path = tree.root;
        machine_.load();
        machine_.tick();
    }
    // t a tick, R L U D the arrow keys, E Esc.
    void step(char what) {
        const std::int16_t keys[] = {keycode::kRight, keycode::kLeft, keycode::kUp, keycode::kDown,
                                     keycode::kEsc};
        if (what == 't')
            machine_.tick();
        else
            machine_.keyDown(keys[QByteArray("RLUDE").indexOf(what)], 0);
    }
    // The picture on show, relative to the root; "" once the viewer has closed.
    QString shown() const {
        if (machine_.closed())
            return QString();
        const ViewerState& s = machine_.state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.mid(tree_.root.size() + 1);
    }

private:
    const FakeTree& tree_;
    AtOnce atOnce_;
    RecordingHost host_{kGuideHeightTwips};
    PolicyLister lister_{[this](const FolderLister::Request& r, EntryList& e) {
                             return tree_.list(r.folder, r.attrMask, e);
                         },
                         atOnce_};
    PolicyPictures pictures_{
        [this](const QString& path, const ViewParams& view) { return tree_.decode(path, view); },
        atOnce_};
    SlideStepMachine machine_{
        host_, pictures_, lister_, &host_, {kScreenWidthTwips, kScreenHeightTwips, 1.0}};
};

FakeTree::Folder folder(const char* name, std::vector<const char*> pictures) {
    FakeTree::Folder f{QString::fromLatin1(name), {}};
    for (const char* picture : pictures)
        f.pictures.push_back({QString::fromLatin1(picture), QSize(40, 30)});
    return f;
}

TEST(SteppingRules, WrapsThroughFilesAndFolders) {
    FakeTree tree;
    tree.pictures = folder("", {"top.bmp"}).pictures; // in the chosen folder itself: not shown
    tree.folders = {folder("a-empty", {}), folder("b", {"1.bmp", "2.gif"}),
                    folder("c", {"1.jpg", "2.bmp"})};
    // "" once the viewer has closed.
    const struct {
        std::int16_t loop, autoNext;
        const char* steps;
        std::vector<const char*> shown;
    } cases[] = {
        {0, 1, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", ""}},
        {1, 1, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", "b/1.bmp"}},
        {1, 0, "tt", {"b/2.gif", "b/1.bmp"}},
        {1, 1, "Lt", {"b/2.gif", "b/1.bmp"}}, // the show now runs backwards
        {0, 0, "RUD", {"b/2.gif", "c/1.jpg", ""}},
        {1, 0, "DDE", {"c/1.jpg", "b/1.bmp", ""}},
        {0, 0, "UU", {"c/1.jpg", "b/1.bmp"}}, // backwards wraps whatever Loop says
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " loop " << c.loop << " auto " << c.autoNext);
        Settings = SettingsRecord();
        Settings.SubFolder = 1;
        Settings.Loop = c.loop;
        Settings.Auto = c.autoNext;
        MachineShow show(tree);
        ASSERT_EQ(show.shown(), QStringLiteral("b/1.bmp"));
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            show.step(c.steps[i]);
            EXPECT_EQ(show.shown(), QString::fromUtf8(c.shown[i])) << i;
        }
    }
}

TEST(SteppingRules, AFolderIsListedAfreshOnEveryVisit) {
    // Each case changes the tree after the start, then takes one step after another.
    const struct {
        const char* what;
        std::int16_t subFolder;
        std::vector<FakeTree::Folder> folders;
        std::function<void(FakeTree&)> change;
        const char* steps;
        std::vector<const char*> shown;
    } cases[] = {
        {"a single folder is read again on its wrap",
         0,
         {},
         [](FakeTree& t) {
             t.pictures.insert(t.pictures.begin(), {"0.bmp", {40, 30}});
         },
         "t",
         {"0.bmp"}},
        {"a search ends after one pass",
         1,
         {folder("a", {"1.bmp"}), folder("b", {"1.bmp"}), folder("c", {"1.bmp"})},
         [](FakeTree& t) { t.folders[1].pictures.clear(), t.folders[2].pictures.clear(); },
         "DD",
         {"a/1.bmp", "a/1.bmp"}},
        {"and closes when no folder has pictures any more",
         1,
         {folder("a", {"1.bmp"}), folder("b", {"1.bmp"})},
         [](FakeTree& t) { t.folders[0].pictures.clear(), t.folders[1].pictures.clear(); },
         "D",
         {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTree tree;
        tree.pictures = folder("", {"1.bmp"}).pictures;
        tree.folders = c.folders;
        Settings = SettingsRecord();
        Settings.SubFolder = c.subFolder;
        Settings.Loop = 1;
        Settings.Auto = 1;
        MachineShow show(tree);
        c.change(tree);
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            show.step(c.steps[i]);
            EXPECT_EQ(show.shown(), QString::fromUtf8(c.shown[i])) << i;
        }
    }
}

// Each random show runs twice on the window-free machine with the fake tree, once with
// listings and pictures at hand and once with them held back while events come. Set
// ORLIX_STEP_SEQUENCES for a longer run.
TEST(StepEquivalence, RandomShowsRunAsTheSingleThreadedProgramWould) {
    bool set = false;
    const int count = qEnvironmentVariableIntValue("ORLIX_STEP_SEQUENCES", &set);
    const int sequences = set ? count : 10000;
    std::mt19937 seeds(7);
    int waited = 0;
    for (int i = 0; i < sequences; ++i) {
        const unsigned seed = seeds();
        std::mt19937 random(seed);
        const RunPair pair = runOnMachine(randomScenario(random));
        ASSERT_EQ(pair.differences, "") << "show " << i << ", seed " << seed;
        waited += pair.waited ? 1 : 0;
    }
    // Events that come during waits are what is tested here.
    EXPECT_GT(waited, sequences / 2);
}

TEST(StepEquivalence, TheReportedFaults) {
    for (const FaultRow& row : faultRows()) {
        SCOPED_TRACE(row.what);
        const RunPair pair = runOnMachine(row.scenario);
        EXPECT_EQ(pair.differences, "");
        EXPECT_TRUE(pair.waited);
        EXPECT_EQ(pair.reference.closed, !row.finalPicture.has_value());
        EXPECT_EQ(pair.reference.picture.section(QLatin1Char('/'), -1),
                  row.finalPicture.value_or(QString()));
        EXPECT_EQ(pair.reference.realSize, row.realSizeAfter);
    }
}

} // namespace
} // namespace orlix::test
