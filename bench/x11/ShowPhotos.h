#pragma once

#include <QRgb>
#include <QString>
#include <QTemporaryDir>

namespace orlix::bench {

// A folder of the photos a slide show is measured on: six of 6000 x 4000 and six of
// 2000 x 1500, JPEGs written by Qt without colour profiles, each with a patch of its own colour
// at its centre, so that the screen's centre pixel tells which photo is shown.
class ShowPhotos {
public:
    static constexpr int kCount = 12;

    // Writes the photos; qFatal when it cannot.
    ShowPhotos();

    QString folder() const { return folder_.path(); }
    // The photo whose patch `centre` shows; -1 for none.
    static int photoAt(QRgb centre);

private:
    QTemporaryDir folder_;
};

} // namespace orlix::bench
