#include "viewer/GuideColours.h"
#include "viewer/KeyMapping.h"
#include "viewer/PanRules.h"

#include <gtest/gtest.h>

namespace orlix {
namespace {

TEST(KeyMapping, GivesTheViewersKeyCodes) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::int16_t code, shift;
    } cases[] = {
        {Qt::Key_Escape, Qt::NoModifier, 27, 0},
        {Qt::Key_Return, Qt::NoModifier, 13, 0},
        {Qt::Key_Enter, Qt::KeypadModifier, 13, 0},
        {Qt::Key_Up, Qt::NoModifier, 38, 0},
        {Qt::Key_Down, Qt::ShiftModifier, 40, 1},
        {Qt::Key_Left, Qt::KeypadModifier, 37, 0},
        {Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, 39, 7},
        {Qt::Key_Home, Qt::KeypadModifier, 36, 0},
        {Qt::Key_Control, Qt::ControlModifier, 17, 2},
        {Qt::Key_8, Qt::KeypadModifier, 38, 0}, // keypad with Num Lock on
        {Qt::Key_2, Qt::KeypadModifier, 40, 0},
        {Qt::Key_4, Qt::KeypadModifier, 37, 0},
        {Qt::Key_6, Qt::KeypadModifier, 39, 0},
        {Qt::Key_7, Qt::KeypadModifier, 36, 0},
        {Qt::Key_8, Qt::NoModifier, 0, 0}, // the digit row is not the keypad
        {Qt::Key_Shift, Qt::ShiftModifier, 0, 1},
        {Qt::Key_A, Qt::NoModifier, 0, 0},
    };
    for (const auto& c : cases) {
        const ViewerKey key = mapKey(c.key, c.modifiers);
        EXPECT_EQ(key.code, c.code) << std::hex << c.key;
        EXPECT_EQ(key.shift, c.shift) << std::hex << c.key;
    }
}

TEST(PanRules, StepATenthOfTheScreenWithinThePicture) {
    // Screen 11520 twips: a step of 1152. Picture 22500, view 11520: the offset stops at 10980.
    EXPECT_EQ(panForward(0, 11520, 22500, 11520), 1152);
    EXPECT_EQ(panForward(9216, 11520, 22500, 11520), 10368);
    EXPECT_EQ(panForward(10368, 11520, 22500, 11520), 10980);
    EXPECT_EQ(panForward(10980, 11520, 22500, 11520), 10980);
    EXPECT_EQ(panBack(10980, 11520), 9828);
    EXPECT_EQ(panBack(1000, 11520), 0);
    EXPECT_EQ(panBack(0, 11520), 0);
    // A picture that fits cannot be panned, even when the view came out a pixel larger.
    EXPECT_EQ(panForward(0, 11520, 4500, 4500), 0);
    EXPECT_EQ(panForward(0, 11520, 4500, 4515), 0);
    // Halves go to the even whole number: a 1025-twip screen steps 102.5.
    EXPECT_EQ(panForward(0, 1025, 100000, 10), 102);
    EXPECT_EQ(panForward(1, 1025, 100000, 10), 104);
}

TEST(GuideColours, RepaintFollowsTheSwitches) {
    GuideTextColours green;
    green.fill(kGuideGreen);
    const struct {
        std::int16_t realSize, guide, autoSwitch, lastKey;
        int greenLabels; // bit i: label i green afterwards
    } cases[] = {
        {0, 0, 1, 37, 0},      // Auto on: every arrow label white
        {0, 0, 0, 37, 1 << 4}, // Auto off: the direction keeps its colour
        {0, 0, 0, 38, 1 << 2},
        {1, 0, 0, 40, (1 << 3) | (1 << 10)}, // RealSize on
        {0, 1, 1, 39, 1 << 11},              // Guide on
        {1, 1, 0, 39, (1 << 5) | (1 << 10) | (1 << 11)},
    };
    for (const auto& c : cases) {
        const GuideTextColours after =
            repaintedGuide(green, c.realSize, c.guide, c.autoSwitch, c.lastKey);
        for (int i = 0; i < static_cast<int>(after.size()); ++i)
            EXPECT_EQ(after[i], (c.greenLabels >> i) & 1 ? kGuideGreen : kGuideWhite)
                << "label " << i << " lastKey " << c.lastKey;
    }
    // A white direction label stays white.
    GuideTextColours white;
    white.fill(kGuideWhite);
    EXPECT_EQ(repaintedGuide(white, 0, 0, 0, 37)[4], kGuideWhite);

    EXPECT_TRUE(autoLabelLook(1).opaque);
    EXPECT_EQ(autoLabelLook(-1).background, kGuideGreen);
    EXPECT_EQ(autoLabelLook(1).text, kGuideBlack);
    EXPECT_FALSE(autoLabelLook(0).opaque);
    EXPECT_EQ(autoLabelLook(0).background, kGuideBlack);
}

} // namespace
} // namespace orlix
