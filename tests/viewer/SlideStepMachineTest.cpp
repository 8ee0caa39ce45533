// The slide steps without a window: held ticks and keys against the single-threaded program.

#include "viewer/SlideStepMachine.h"
#include "viewer/KeyCodes.h"
#include "viewer/StepRuns.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace orlix::test {
namespace {

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

} // namespace
} // namespace orlix::test
