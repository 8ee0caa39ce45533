#include "decode/codec/AreaShrinker.h"

#include "platform/sandbox/SanitizerBuild.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orlix {

namespace {

// Where each colour lies in the four bytes of a QRgb in memory.
constexpr int kRed = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 2 : 1;
constexpr int kGreen = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 1 : 2;
constexpr int kBlue = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : 3;

constexpr int kFrameBytesPerPixel = 3;

// A pixel's four channels, in the order of a QRgb's bytes in memory: summed four at a time,
// which compilers turn into one vector instruction each.
using Pixel = float __attribute__((vector_size(16)));

Pixel toPixel(const uchar* bytes) {
    return Pixel{float(bytes[0]), float(bytes[1]), float(bytes[2]), float(bytes[3])};
}

Pixel load(const float* channels) {
    Pixel pixel;
    std::memcpy(&pixel, channels, sizeof pixel);
    return pixel;
}

void store(float* channels, Pixel pixel) {
    std::memcpy(channels, &pixel, sizeof pixel);
}

// Adds `weight` times each of `count` bytes to the sums at `channels`: the bulk of a shrink,
// once for every row of the picture. Compiled for wider vectors too where the processor has
// them, the program being built for any x86-64; not in sanitizer builds, whose runtime is not
// ready yet when the loader picks the version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(ORLIX_SANITIZER_BUILD)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void addWeighted(float* channels, const uchar* bytes, std::size_t count, float weight) {
    for (std::size_t i = 0; i < count; ++i)
        channels[i] += weight * bytes[i];
}

// A pixel's means, already offset by a half so that truncation rounds them, as four bytes in
// the order of its channels. A mean never falls below 0; rounding may lift it past 255.
std::uint32_t toBytes(Pixel rounded) {
#if defined(__SSE2__)
    const __m128i whole = _mm_cvttps_epi32(_mm_min_ps(rounded, _mm_set1_ps(255.0f)));
    const __m128i words = _mm_packs_epi32(whole, whole);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
    std::uint32_t bytes = 0;
    for (int channel = 0; channel < 4; ++channel)
        bytes |= std::uint32_t(std::clamp(rounded[channel], 0.0f, 255.0f)) << (8 * channel);
    return bytes;
#endif
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
    // Every frame column is given as many picture columns as the widest covers, the ones it
    // does not reach weighing nothing, so that each is summed by one unvarying loop.
    const std::int64_t sw = source.width();
    const std::int64_t tw = target.width();
    if (sw <= 0 || tw <= 0)
        return;
    taps_ = static_cast<int>(std::min<std::int64_t>((sw + tw - 1) / tw + 1, sw));
    firstColumn_.resize(std::size_t(tw));
    columnWeights_.assign(std::size_t(tw) * std::size_t(taps_), 0.0f);
    for (std::int64_t x = 0; x < tw; ++x) {
        const std::int64_t low = x * sw;
        const std::int64_t high = (x + 1) * sw;
        const std::int64_t first = low / tw;
        const std::int64_t last = (high - 1) / tw;
        const std::int64_t start = std::min(first, sw - taps_);
        firstColumn_[std::size_t(x)] = static_cast<int>(start);
        float* weights = columnWeights_.data() + x * taps_;
        for (std::int64_t c = first; c <= last; ++c) {
            const std::int64_t overlap = std::min(high, (c + 1) * tw) - std::max(low, c * tw);
            weights[c - start] = float(overlap) / float(sw);
        }
    }
}

void AreaShrinker::add(RowSum& sum, const QRgb* row, float weight, Alpha alpha) {
    const int width = source_.width();
    if (sum.channels.size() != std::size_t(width) * 4)
        sum.channels.assign(std::size_t(width) * 4, 0.0f);
    sum.weight += weight;
    float* channels = sum.channels.data();
    const auto* bytes = reinterpret_cast<const uchar*>(row);
    if (alpha == Alpha::Ignored) {
        addWeighted(channels, bytes, std::size_t(width) * 4, weight);
        return;
    }
    for (int x = 0; x < width; ++x) {
        const Pixel pixel = toPixel(bytes + 4 * x) * (weight * float(qAlpha(row[x])) / 255.0f);
        store(channels + 4 * x, load(channels + 4 * x) + pixel);
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
    switch (taps_) {
    case 2:
        writeColumns<2>(sum.channels.data(), scale, base, step, mirror);
        break;
    case 3:
        writeColumns<3>(sum.channels.data(), scale, base, step, mirror);
        break;
    default:
        writeColumns<0>(sum.channels.data(), scale, base, step, mirror);
        break;
    }
}

template <int Taps>
void AreaShrinker::writeColumns(const float* channels, float scale, uchar* base, qsizetype step,
                                bool mirror) const {
    const int width = target_.width();
    const int taps = Taps > 0 ? Taps : taps_;
    const float* weights = columnWeights_.data();
    const int* first = firstColumn_.data();
    uchar* out = base + (mirror ? width - 1 : 0) * step;
    const qsizetype advance = mirror ? -step : step;
    for (int x = 0; x < width; ++x, weights += taps, out += advance) {
        const float* pixel = channels + std::size_t(first[x]) * 4;
        Pixel mean = {0, 0, 0, 0};
        for (int k = 0; k < taps; ++k)
            mean += weights[k] * load(pixel + 4 * k);
        const std::uint32_t bytes = toBytes(mean * scale + 0.5f);
        out[0] = uchar(bytes >> (8 * kRed));
        out[1] = uchar(bytes >> (8 * kGreen));
        out[2] = uchar(bytes >> (8 * kBlue));
    }
}

} // namespace orlix
