#pragma once

#include <cstdint>

namespace orlix::test {

// Contents of test pictures that make a test program's decoder process fail as a flawed
// decoder could: crash, never answer, or take memory until its ceiling stops it.
inline constexpr char kCrashingPicture[] = "orlix-test:crash";
inline constexpr char kHangingPicture[] = "orlix-test:hang";
inline constexpr char kGreedyPicture[] = "orlix-test:greedy";
// A picture its decoder process answers only once told to stop, and then falsely: with the
// number of a request not made yet.
inline constexpr char kFalseWhenStoppedPicture[] = "orlix-test:false-when-stopped";
// A picture its decoder process answers with a 1 x 1 picture whose pixel is the process's id
// (qRgb's 24 bits), so that a test sees which process serves.
inline constexpr char kProcessPicture[] = "orlix-test:process";
// A picture whose decoder process answers with a reply the program's decoder would never send,
// as a decoder taken over by a crafted picture could: which lie follows the prefix (its
// number, Lie below). Each is a 4 x 4 red picture, asked for whole, except that the lies about
// frames are a 64 x 48 one asked for in a view of kLyingFrameBox device pixels.
inline constexpr char kLyingPicture[] = "orlix-test:lie:";
inline constexpr int kLyingFrameBox = 16;
enum class Lie {
    None,              // a true answer, lent
    ShortMessage,      // the reply four bytes short
    WrongTag,          // tagged as another message
    WrongSequence,     // the number of a request not made yet
    TwoAnswers,        // a true answer, sent again ahead of the next request's
    UnknownError,      // a failure no one knows
    FailureWithSize,   // a failure that gives a picture's size
    FailureWithPixels, // a failure with memory attached
    StoppedUnasked,    // stopped, though the program did not cancel
    TwoDescriptors,    // the pixels' memory and another descriptor
    BeyondPixelLimit,  // a whole picture larger than any decoded, decoded at 1/8
    ScaleNotAsked,     // decoded at half size, though it fits the box whole
    Wider,             // pixels wider than the picture at its scale
    Taller,            // pixels taller than it
    Indexed,           // indexed, without a colour table: Qt's smooth scaling would crash
    LongRows,          // rows padded beyond what the decoder writes
    GivenThoughSmall,  // given, where the decoder lends
    Unsealed,          // lent in memory the decoder can still resize
    SparseHugeLent,    // lent in sparse memory of 256 MiB, more than is ever lent
    FrameUnasked,      // a frame, for a request that names no view
    Unframed,          // the whole picture, where the view wants its frame
    FrameWrongSize,    // a frame a pixel narrower than the view places it
    FrameAt32Bits,     // a frame in the format whole pictures travel in
    FrameLent,         // a frame lent
};
inline constexpr int kLies = 24;
// The lies told of a frame, asked for in a view (Lie::FrameUnasked is asked for whole).
inline bool isFrameLie(Lie lie) {
    return lie > Lie::FrameUnasked;
}

// More than the program's decoder processes may take.
inline constexpr std::int64_t kBeyondCeiling = std::int64_t(8) << 30;

} // namespace orlix::test
