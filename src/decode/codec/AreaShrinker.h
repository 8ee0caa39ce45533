#pragma once

#include <QImageIOHandler>
#include <QRgb>
#include <QSize>
#include <QtGlobal>

#include <vector>

namespace orlix {

// Shrinks a picture to its frame as the picture's rows arrive, so that the picture is never
// held whole: every frame pixel is the mean of the area of the picture it covers, as Qt's
// smooth scaling makes it. The frame is 24-bit RGB (QImage::Format_RGB888), written already
// turned upright. Written here because neither Qt nor libjpeg shrinks a stream of rows: both
// want the whole picture in memory first, which for a photo on a large screen is several
// frames' worth.
//
// A picture decoded in two bands at once is shrunk by one shrinker per band, each fed its own
// rows; the frame row that straddles the two bands is finished by join().
class AreaShrinker {
public:
    using Turn = QImageIOHandler::Transformations;

    // Shrinks a picture of `source` pixels to `target` (both as stored, before `turn`), fed the
    // picture's rows [from, to) in order. The frame's pixels lie at `frame`, `stride` bytes a
    // row, `target` turned by `turn` (its width and height traded for a quarter turn).
    // `target` may exceed `source` by a little: rounding the frame may ask for that.
    AreaShrinker(QSize source, QSize target, int from, int to, uchar* frame, qsizetype stride,
                 Turn turn = QImageIOHandler::TransformationNone);

    // What addRow() is given: opaque pixels (RGB32), or pixels whose alpha is to be laid over
    // black, as the viewer shows a picture with transparency.
    enum class Alpha { Ignored, OverBlack };

    // The next of the picture's rows: `source.width()` pixels.
    void addRow(const QRgb* row, Alpha alpha = Alpha::Ignored);

    // Finishes the frame row that `upper` (fed the rows just above `lower`'s) and `lower`
    // share, once both have been fed all their rows. Nothing when they share none.
    static void join(AreaShrinker& upper, AreaShrinker& lower);

    // The frame's size for a picture shrunk to `target` and turned by `turn`.
    static QSize turnedSize(QSize target, Turn turn);

private:
    // One frame row as it is summed: the picture's pixels, four channels each, weighed by how
    // much of each picture row falls in the frame row.
    struct RowSum {
        int row = -1;
        float weight = 0;
        std::vector<float> channels;
    };

    void add(RowSum& sum, const QRgb* row, float weight, Alpha alpha);
    void writeRow(const RowSum& sum);
    // Passes on a frame row that no more rows of this band reach: written, or kept for join()
    // when rows of another band reach it too.
    void finish(RowSum& sum);

    const QSize source_;
    const QSize target_;
    const int from_;
    const int to_;
    uchar* const frame_;
    const qsizetype stride_;
    const Turn turn_;
    // Writes the frame row summed in `channels`, each column from `Taps` picture columns
    // (0: taps_).
    template <int Taps>
    void writeColumns(const float* channels, float scale, uchar* base, qsizetype step,
                      bool mirror) const;

    // Per frame column: the first of the taps_ picture columns it is summed from, and their
    // weights, taps_ for every column one after another.
    int taps_ = 0;
    std::vector<int> firstColumn_;
    std::vector<float> columnWeights_;
    int nextRow_;
    RowSum open_;
    RowSum above_; // the first frame row, when rows above this band reach it
    RowSum below_; // the last, when rows below reach it
};

} // namespace orlix
