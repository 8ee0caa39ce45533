#include "decode/codec/AreaShrinker.h"

#include <algorithm>
#include <cstdint>

namespace orlix {

namespace {

// Where each colour lies in the four bytes of a QRgb in memory.
constexpr int kRed = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 2 : 1;
constexpr int kGreen = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 1 : 2;
constexpr int kBlue = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : 3;

constexpr int kFrameBytesPerPixel = 3;

uchar toByte(float value) {
    return static_cast<uchar>(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

} // namespace

QSize AreaShrinker::turnedSize(QSize target, Turn turn) {
    return turn & QImageIOHandler::TransformationRotate90 ? target.transposed() : target;
}

AreaShrinker::AreaShrinker(QSize source, QSize target, int from, int to, uchar* frame,
                           qsizetype stride, Turn turn)
    : source_(source), target_(target), from_(from), to_(to), frame_(frame), stride_(stride),
      turn_(turn), nextRow_(from) {
    // Column x of the frame covers [x * sw, (x + 1) * sw) and picture column c covers
    // [c * tw, (c + 1) * tw), both in units of 1/tw of a picture column: overlaps are whole.
    const std::int64_t sw = source.width();
    const std::int64_t tw = target.width();
    firstColumn_.resize(static_cast<std::size_t>(std::max<std::int64_t>(tw, 0)));
    columnCount_.resize(firstColumn_.size());
    for (std::int64_t x = 0; x < tw; ++x) {
        const std::int64_t low = x * sw;
        const std::int64_t high = (x + 1) * sw;
        const std::int64_t first = low / tw;
        const std::int64_t last = (high - 1) / tw;
        firstColumn_[std::size_t(x)] = static_cast<int>(first);
        columnCount_[std::size_t(x)] = static_cast<int>(last - first + 1);
        for (std::int64_t c = first; c <= last; ++c) {
            const std::int64_t overlap = std::min(high, (c + 1) * tw) - std::max(low, c * tw);
            columnWeights_.push_back(float(overlap) / float(sw));
        }
    }
}

void AreaShrinker::add(RowSum& sum, const QRgb* row, float weight, Alpha alpha) {
    const std::size_t count = std::size_t(source_.width()) * 4;
    if (sum.channels.size() != count)
        sum.channels.assign(count, 0.0f);
    sum.weight += weight;
    float* channels = sum.channels.data();
    const auto* bytes = reinterpret_cast<const uchar*>(row);
    if (alpha == Alpha::Ignored) {
        for (std::size_t i = 0; i < count; ++i)
            channels[i] += weight * bytes[i];
        return;
    }
    for (std::size_t i = 0; i < count; i += 4) {
        const float opaque = weight * float(qAlpha(row[i / 4])) / 255.0f;
        channels[i + kRed] += opaque * bytes[i + kRed];
        channels[i + kGreen] += opaque * bytes[i + kGreen];
        channels[i + kBlue] += opaque * bytes[i + kBlue];
    }
}

void AreaShrinker::addRow(const QRgb* row, Alpha alpha) {
    if (nextRow_ >= to_ || target_.isEmpty() || source_.isEmpty())
        return;
    // Picture row r covers [r * th, (r + 1) * th) and frame row j [j * sh, (j + 1) * sh), in
    // units of 1/th of a picture row.
    const std::int64_t sh = source_.height();
    const std::int64_t th = target_.height();
    const std::int64_t r = nextRow_++;
    const std::int64_t first = r * th / sh;
    const std::int64_t last = ((r + 1) * th - 1) / sh;
    for (std::int64_t j = first; j <= last; ++j) {
        if (open_.row != j) {
            if (open_.row >= 0)
                finish(open_);
            open_.row = static_cast<int>(j);
            open_.weight = 0;
            open_.channels.assign(std::size_t(source_.width()) * 4, 0.0f);
        }
        const std::int64_t overlap =
            std::min((j + 1) * sh, (r + 1) * th) - std::max(j * sh, r * th);
        add(open_, row, float(overlap), alpha);
    }
    if (nextRow_ == to_ && open_.row >= 0)
        finish(open_);
}

void AreaShrinker::finish(RowSum& sum) {
    const std::int64_t sh = source_.height();
    const std::int64_t th = target_.height();
    if ((sum.row + 1) * sh > std::int64_t(to_) * th)
        std::swap(below_, sum);
    else if (std::int64_t(sum.row) * sh < std::int64_t(from_) * th)
        std::swap(above_, sum);
    else
        writeRow(sum);
    sum.row = -1;
}

void AreaShrinker::join(AreaShrinker& upper, AreaShrinker& lower) {
    RowSum& top = upper.below_;
    RowSum& bottom = lower.above_;
    if (top.row < 0 || top.row != bottom.row || top.channels.size() != bottom.channels.size())
        return;
    for (std::size_t i = 0; i < top.channels.size(); ++i)
        top.channels[i] += bottom.channels[i];
    top.weight += bottom.weight;
    upper.writeRow(top);
    top.row = bottom.row = -1;
}

void AreaShrinker::writeRow(const RowSum& sum) {
    if (sum.weight <= 0 || sum.row < 0 || sum.row >= target_.height())
        return;
    const int width = target_.width();
    const int height = target_.height();
    const bool mirror = turn_ & QImageIOHandler::TransformationMirror;
    const bool flip = turn_ & QImageIOHandler::TransformationFlip;
    const bool quarter = turn_ & QImageIOHandler::TransformationRotate90;
    // Frame row j goes, mirrored or flipped as asked, to a row of the frame, or for a quarter
    // turn (clockwise, after the mirroring) to one of its columns.
    const qsizetype row = flip ? height - 1 - sum.row : sum.row;
    uchar* const base =
        quarter ? frame_ + (height - 1 - row) * kFrameBytesPerPixel : frame_ + row * stride_;
    const qsizetype step = quarter ? stride_ : kFrameBytesPerPixel;
    const float scale = 1.0f / sum.weight;
    const float* channels = sum.channels.data();
    const float* weights = columnWeights_.data();
    for (int x = 0; x < width; ++x) {
        float red = 0, green = 0, blue = 0;
        const float* pixel = channels + std::size_t(firstColumn_[std::size_t(x)]) * 4;
        for (int k = columnCount_[std::size_t(x)]; k > 0; --k, pixel += 4, ++weights) {
            red += *weights * pixel[kRed];
            green += *weights * pixel[kGreen];
            blue += *weights * pixel[kBlue];
        }
        uchar* out = base + (mirror ? width - 1 - x : x) * step;
        out[0] = toByte(red * scale);
        out[1] = toByte(green * scale);
        out[2] = toByte(blue * scale);
    }
}

} // namespace orlix
