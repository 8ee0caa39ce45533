#pragma once

#include "ScreenWatch.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>

namespace orlix::test {
class XvfbServer;
}

namespace orlix::bench {

// The two programs whose first picture is timed.
enum class Program { Orlix, Feh };

// Runs of a program on an X server, each from the key that starts its show to the photo on
// screen: the photo (6000 x 4000, with a patch of one colour at its centre that the screen's
// centre pixel is matched against), a private home for the program, and the launcher window
// feh is started from.
class FirstPictureRun {
public:
    FirstPictureRun();

    // One run; the times of a run that failed have no picture, and the screen it left is saved.
    FirstPictureTimes run(const test::XvfbServer& display, ScreenWatch& watch, Program program);

private:
    std::uint32_t launcher(ScreenWatch& watch);

    QTemporaryDir folder_;
    QTemporaryDir home_;
    QString photo_;
    std::uint32_t launcher_ = 0;
};

} // namespace orlix::bench
