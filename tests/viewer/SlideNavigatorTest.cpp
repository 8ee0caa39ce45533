#include "viewer/SlideNavigator.h"

#include <gtest/gtest.h>

#include <vector>

namespace orlix {
namespace {

using Outcome = SlideNavigator::Outcome;
constexpr std::int16_t kUp = keycode::kUp, kDown = keycode::kDown, kLeft = keycode::kLeft,
                       kRight = keycode::kRight;

// A show over folders holding the given numbers of pictures; loading a folder behaves like
// the viewer's LoadFolderFiles.
struct Show {
    explicit Show(std::vector<int> pictures) : pictures(std::move(pictures)) {
        state.folderList.resize(this->pictures.size(), FileEntry{QString(), kDirectoryBit});
    }
    SlideNavigator navigator() {
        return SlideNavigator(state, [this] {
            ++loads;
            const int count = pictures.at(state.folderIndex);
            state.fileList.assign(count, FileEntry{QStringLiteral("f"), 32});
            if (count > 0) {
                state.lastFileIndex = count - 1;
                state.fileIndex = 0;
            }
        });
    }
    void at(int folder, int file) {
        state.folderIndex = static_cast<std::int16_t>(folder);
        state.fileList.assign(pictures.at(folder), FileEntry{QStringLiteral("f"), 32});
        state.lastFileIndex = pictures.at(folder) - 1;
        state.fileIndex = static_cast<std::int16_t>(file);
    }
    std::vector<int> pictures;
    ViewerState state;
    int loads = 0;
};

struct MoveCase {
    const char* name;
    std::vector<int> pictures;
    int folder, file;
    std::int16_t key;
    bool loop, autoNext;
    Outcome outcome;
    int folderAfter, fileAfter, loads;
};

class SlideNavigatorMove : public ::testing::TestWithParam<MoveCase> {};

TEST_P(SlideNavigatorMove, FollowsTheWrapRules) {
    const MoveCase& c = GetParam();
    Show show(c.pictures);
    show.at(c.folder, c.file);
    SlideNavigator navigator = show.navigator();
    EXPECT_EQ(navigator.move(c.key, c.loop, c.autoNext), c.outcome);
    EXPECT_EQ(show.loads, c.loads);
    if (c.outcome == Outcome::Moved) {
        EXPECT_EQ(show.state.folderIndex, c.folderAfter);
        EXPECT_EQ(show.state.fileIndex, c.fileAfter);
        EXPECT_EQ(show.state.lastFileIndex, c.pictures[c.folderAfter] - 1);
    }
}

const MoveCase kMoves[] = {
    {"FirstTickShowsFileZero", {3}, 0, -1, kRight, false, false, Outcome::Moved, 0, 0, 0},
    {"RightWithinFolder", {3}, 0, 0, kRight, false, false, Outcome::Moved, 0, 1, 0},
    {"RightWrapsInFolderWithAutoOff", {3, 2}, 0, 2, kRight, true, false, Outcome::Moved, 0, 0, 0},
    {"RightGoesOnWithAutoOnSkippingEmpty",
     {3, 0, 2},
     0,
     2,
     kRight,
     false,
     true,
     Outcome::Moved,
     2,
     0,
     2},
    {"RightPastLastFolderLoopsWithAutoAndLoop",
     {3, 0, 2},
     2,
     1,
     kRight,
     true,
     true,
     Outcome::Moved,
     0,
     0,
     1},
    {"RightPastLastFolderEndsWithLoopOff",
     {3, 2},
     1,
     1,
     kRight,
     false,
     true,
     Outcome::EndOfShow,
     0,
     0,
     0},
    {"LeftWrapsToLastFile", {3}, 0, 0, kLeft, false, true, Outcome::Moved, 0, 2, 0},
    {"LeftWithinFolder", {3}, 0, 2, kLeft, false, false, Outcome::Moved, 0, 1, 0},
    {"UpWrapsWhateverLoopSays", {2, 0, 3, 0}, 0, 1, kUp, false, false, Outcome::Moved, 2, 0, 2},
    {"UpStartsFolderAtFirstFile", {2, 3}, 1, 2, kUp, false, false, Outcome::Moved, 0, 0, 1},
    {"DownSkipsEmptyFolders", {2, 0, 0, 3}, 0, 1, kDown, false, false, Outcome::Moved, 3, 0, 3},
    {"DownPastLastEndsWithLoopOff", {2, 3}, 1, 0, kDown, false, false, Outcome::EndOfShow, 0, 0, 0},
    {"DownPastLastWrapsWithLoopOn", {2, 3}, 1, 2, kDown, true, false, Outcome::Moved, 0, 0, 1},
    {"SingleFolderUpReadsItAgain", {2}, 0, 1, kUp, false, false, Outcome::Moved, 0, 0, 1},
    {"OnlyTheCurrentFolderStillHasPictures",
     {0, 4, 0},
     1,
     3,
     kDown,
     true,
     false,
     Outcome::Moved,
     1,
     0,
     3},
    {"EmptiedTreeEndsAfterOnePassDown",
     {0, 0, 0},
     1,
     0,
     kDown,
     true,
     false,
     Outcome::NoPictures,
     0,
     0,
     3},
    {"EmptiedTreeEndsAfterOnePassUp",
     {0, 0, 0},
     1,
     0,
     kUp,
     false,
     false,
     Outcome::NoPictures,
     0,
     0,
     3},
    {"EmptiedSingleFolderEndsOnWrap", {0}, 0, 0, kRight, true, true, Outcome::NoPictures, 0, 0, 1},
    {"OtherKeysMoveNothing", {3}, 0, 1, keycode::kEnter, true, true, Outcome::Moved, 0, 1, 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, SlideNavigatorMove, ::testing::ValuesIn(kMoves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SlideNavigatorStart, EntersTheFirstFolderWithPictures) {
    Show show({0, 0, 2, 5});
    SlideNavigator navigator = show.navigator();
    ASSERT_TRUE(navigator.findFirstFolder());
    EXPECT_EQ(show.state.folderIndex, 2);
    EXPECT_EQ(show.state.lastFileIndex, 1);
    EXPECT_EQ(show.loads, 3);

    Show empty({0, 0});
    SlideNavigator none = empty.navigator();
    EXPECT_FALSE(none.findFirstFolder());
    EXPECT_EQ(empty.loads, 2);
    EXPECT_EQ(empty.state.lastFileIndex, -1);
}

} // namespace
} // namespace orlix
