#pragma once

#include <QImage>
#include <QSize>

namespace orlix {

// `picture` shrunk to `size` by Qt's area averaging, on two threads when it is large: Qt
// scales on one core, which for a photo takes longer than the rest of a slide step. The upper
// and lower halves of the result are made each from the picture's rows they cover; every row
// of a shrunk picture averages picture rows of its own, so the halves join without a seam
// (they differ from a single pass by rounding only). Anything else is scaled as Qt does.
QImage smoothScaled(const QImage& picture, QSize size);

} // namespace orlix
