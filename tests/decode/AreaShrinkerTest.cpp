#include "decode/codec/AreaShrinker.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orlix::test {
namespace {

using Turn = AreaShrinker::Turn;

// A picture with detail at every scale: noise over gradients, so that a wrong weight or a
// row or column out of place shows.
QImage picture(QSize size, quint32 seed, bool alpha = false) {
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(64));
            row[x] = qRgba((x * 255 / size.width() + noise) % 256, (y * 255 / size.height()) % 256,
                           (x + y + noise * 3) % 256, alpha ? int(random.bounded(256)) : 255);
        }
    }
    return image;
}

// `source` shrunk to `target` by shrinkers over the bands that `splits` cut it into.
QImage shrunk(const QImage& source, QSize target, std::vector<int> splits = {},
              Turn turn = QImageIOHandler::TransformationNone,
              AreaShrinker::Alpha alpha = AreaShrinker::Alpha::Ignored) {
    QImage frame(AreaShrinker::turnedSize(target, turn), QImage::Format_RGB888);
    frame.fill(Qt::magenta); // a pixel never written shows
    splits.insert(splits.begin(), 0);
    splits.push_back(source.height());
    std::vector<std::unique_ptr<AreaShrinker>> bands;
    for (std::size_t band = 0; band + 1 < splits.size(); ++band) {
        bands.push_back(std::make_unique<AreaShrinker>(source.size(), target, splits[band],
                                                       splits[band + 1], frame.bits(),
                                                       frame.bytesPerLine(), turn));
        for (int y = splits[band]; y < splits[band + 1]; ++y)
            bands.back()->addRow(reinterpret_cast<const QRgb*>(source.constScanLine(y)), alpha);
    }
    for (std::size_t band = 0; band + 1 < bands.size(); ++band)
        AreaShrinker::join(*bands[band], *bands[band + 1]);
    return frame;
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 256;
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    int largest = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            largest = std::max({largest, std::abs(qRed(p[x]) - qRed(q[x])),
                                std::abs(qGreen(p[x]) - qGreen(q[x])),
                                std::abs(qBlue(p[x]) - qBlue(q[x]))});
        }
    }
    return largest;
}

// The mean of `channel` over the area of `source` that frame pixel (x, y) covers, straight
// from its definition: every picture pixel weighed by the part of it inside the pixel's
// rectangle.
double areaMean(const QImage& source, QSize target, int x, int y, int channel) {
    const double sx = double(source.width()) / target.width();
    const double sy = double(source.height()) / target.height();
    const double left = x * sx, right = (x + 1) * sx, top = y * sy, bottom = (y + 1) * sy;
    double sum = 0;
    for (int row = int(top); row < std::min(int(std::ceil(bottom)), source.height()); ++row) {
        const double h = std::min(bottom, row + 1.0) - std::max(top, double(row));
        for (int column = int(left); column < std::min(int(std::ceil(right)), source.width());
             ++column) {
            const double w = std::min(right, column + 1.0) - std::max(left, double(column));
            const QRgb pixel = source.pixel(column, row);
            const int value = channel == 0   ? qRed(pixel)
                              : channel == 1 ? qGreen(pixel)
                                             : qBlue(pixel);
            sum += w * h * value;
        }
    }
    return sum / (sx * sy);
}

// Every frame pixel is the mean of the picture's area it covers. Qt's smooth scaling agrees
// on small pictures; on large ones its fixed-point steps drift, so they are held to the
// definition itself at pixels spread over the frame.
TEST(AreaShrinker, FramesAreTheMeanOfTheAreaEachPixelCovers) {
    struct Case {
        QSize source;
        QSize target;
        bool againstQt;
    };
    const Case cases[] = {
        {{3750, 2500}, {3240, 2160}, false}, // a 24 MP photo at 5/8 for a 4K screen
        {{2250, 1500}, {1620, 1080}, false}, // ... at 3/8 for 1920x1080
        {{640, 480}, {320, 240}, true},      // exactly half
        {{375, 250}, {324, 216}, true},
        {{997, 613}, {401, 97}, true},  // unrelated lengths, shrunk more in one direction
        {{300, 200}, {299, 199}, true}, // a pixel less
        {{100, 50}, {101, 51}, false},  // a pixel more, as rounding a frame's place may ask
        {{1000, 10}, {7, 1}, true},     // to a single row
        {{10, 1000}, {1, 7}, true},     // to a single column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source.width() << "x" << c.source.height() << " -> "
                                        << c.target.width() << "x" << c.target.height());
        const QImage source = picture(c.source, 7);
        const QImage frame = shrunk(source, c.target);
        ASSERT_EQ(frame.size(), c.target);
        if (c.againstQt) {
            EXPECT_LE(largestDifference(frame, source.scaled(c.target, Qt::IgnoreAspectRatio,
                                                             Qt::SmoothTransformation)),
                      2);
        }
        QRandomGenerator random(c.target.width());
        for (int sample = 0; sample < 300; ++sample) {
            const int x = int(random.bounded(c.target.width()));
            const int y = int(random.bounded(c.target.height()));
            const QRgb got = frame.pixel(x, y);
            const int channels[] = {qRed(got), qGreen(got), qBlue(got)};
            for (int channel = 0; channel < 3; ++channel)
                ASSERT_NEAR(channels[channel], areaMean(source, c.target, x, y, channel), 0.51)
                    << "at " << x << "," << y << " channel " << channel;
        }
    }
}

// Two bands shrunk apart, split anywhere, give the very frame one band gives: the row they
// share is summed whole before it is written.
TEST(AreaShrinker, BandsSplitAnywhereGiveTheSameFrame) {
    const QImage source = picture({157, 131}, 11);
    const QSize target(61, 47);
    const QImage whole = shrunk(source, target);
    for (int split = 1; split < source.height(); ++split)
        ASSERT_EQ(shrunk(source, target, {split}), whole) << "split at " << split;
    EXPECT_EQ(shrunk(source, target, {40, 90}), whole) << "three bands";
}

// A frame written turned is the frame turned as Qt turns a picture upright.
TEST(AreaShrinker, TurnedFramesAreTheFrameTurned) {
    const QImage source = picture({211, 143}, 5);
    const QSize target(97, 61);
    const QImage frame = shrunk(source, target);
    for (int turn = 0; turn < 8; ++turn) {
        const auto t = static_cast<Turn>(turn);
        QImage expected = frame.mirrored(t & QImageIOHandler::TransformationMirror,
                                         t & QImageIOHandler::TransformationFlip);
        if (t & QImageIOHandler::TransformationRotate90)
            expected = expected.transformed(QTransform().rotate(90));
        EXPECT_EQ(shrunk(source, target, {70}, t), expected) << "turn " << turn;
    }
}

// Transparency is laid over black, as the viewer shows such a picture.
TEST(AreaShrinker, TransparencyIsLaidOverBlack) {
    const QImage source = picture({120, 90}, 3, true);
    QImage overBlack(source.size(), QImage::Format_RGB32);
    overBlack.fill(Qt::black);
    QPainter(&overBlack).drawImage(0, 0, source);
    const QSize target(50, 37);
    EXPECT_LE(largestDifference(shrunk(source, target, {}, QImageIOHandler::TransformationNone,
                                       AreaShrinker::Alpha::OverBlack),
                                shrunk(overBlack, target)),
              1);
}

} // namespace
} // namespace orlix::test
