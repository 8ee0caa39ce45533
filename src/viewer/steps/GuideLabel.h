#pragma once

namespace orlix {

// The labels of the key guide, named for what they describe. The value is the label's index:
// the upper row runs from Exit to NextFile, the lower one from MoveUp to Auto, left to right.
enum class GuideLabel {
    Exit,
    StopStart,
    PreviousFolder,
    NextFolder,
    PreviousFile,
    NextFile,
    MoveUp,
    MoveDown,
    MoveLeft,
    MoveRight,
    RealSize,
    Guide,
    Auto, // marks no key: shows that Settings.Auto is on
};

inline constexpr int kGuideLabelCount = 13;

// The first label of the lower row.
inline constexpr GuideLabel kFirstLowerLabel = GuideLabel::MoveUp;

inline constexpr int guideIndex(GuideLabel label) {
    return static_cast<int>(label);
}

} // namespace orlix
