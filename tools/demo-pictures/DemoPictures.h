#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace orlix::demo {

// One demo picture: the file name (its extension gives the format) and the drawing.
struct DemoPicture {
    QString fileName;
    QImage image;
};

// The pictures a fresh build puts beside the program, so that the first Start shows a show:
// landscape and portrait, one larger than a common screen, a small one, in BMP, JPEG and GIF.
std::vector<DemoPicture> drawDemoPictures();

} // namespace orlix::demo
