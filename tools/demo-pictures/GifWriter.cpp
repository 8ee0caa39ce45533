#include "GifWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace orlix::demo {

namespace {

constexpr int kCubeLevels = 6;
constexpr int kCubeColours = kCubeLevels * kCubeLevels * kCubeLevels; // 216
constexpr int kGreys = 256 - kCubeColours;                            // 40
constexpr int kCubeStep = 255 / (kCubeLevels - 1);                    // 51

// 4 x 4 Bayer matrix, thresholds 0..15.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The nearest of `levels` evenly spaced levels of 0..255, after a dithering shift of up to
// half a step either way.
int ditheredLevel(int value, int threshold, int levels) {
    const double step = 255.0 / (levels - 1);
    const double shifted = value + (threshold * 2 - 15) / 32.0 * step;
    return std::clamp(static_cast<int>(std::lround(shifted / step)), 0, levels - 1);
}

void putLe16(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

// Packs variable-width codes least significant bit first into 255-byte data sub-blocks.
class CodeWriter {
public:
    explicit CodeWriter(QByteArray& out) : out_(out) {}

    void write(int code, int width) {
        bits_ |= static_cast<std::uint32_t>(code) << bitCount_;
        bitCount_ += width;
        while (bitCount_ >= 8) {
            pushByte(static_cast<char>(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
    }

    void finish() {
        if (bitCount_ > 0)
            pushByte(static_cast<char>(bits_ & 0xFF));
        flushBlock();
        out_.append('\0'); // block terminator
    }

private:
    void pushByte(char byte) {
        block_.append(byte);
        if (block_.size() == 255)
            flushBlock();
    }
    void flushBlock() {
        if (block_.isEmpty())
            return;
        out_.append(static_cast<char>(block_.size()));
        out_.append(block_);
        block_.clear();
    }

    QByteArray& out_;
    QByteArray block_;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

constexpr int kMinCodeSize = 8;
constexpr int kClearCode = 1 << kMinCodeSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kMaxCode = 4095;

void compress(const QByteArray& indices, CodeWriter& writer) {
    // next[code * 256 + byte]: the code of that string extended by byte, 0 when absent.
    std::vector<std::uint16_t> next(static_cast<std::size_t>(kMaxCode + 1) * 256, 0);
    int codeSize = kMinCodeSize + 1;
    int lastCode = kEndCode;
    writer.write(kClearCode, codeSize);

    int current = -1;
    for (const char c : indices) {
        const int byte = static_cast<unsigned char>(c);
        if (current < 0) {
            current = byte;
            continue;
        }
        std::uint16_t& extended = next[static_cast<std::size_t>(current) * 256 + byte];
        if (extended != 0) {
            current = extended;
            continue;
        }
        writer.write(current, codeSize);
        extended = static_cast<std::uint16_t>(++lastCode);
        if (lastCode >= (1 << codeSize))
            ++codeSize;
        if (lastCode == kMaxCode) {
            writer.write(kClearCode, codeSize);
            std::fill(next.begin(), next.end(), 0);
            codeSize = kMinCodeSize + 1;
            lastCode = kEndCode;
        }
        current = byte;
    }
    if (current >= 0)
        writer.write(current, codeSize);
    writer.write(kEndCode, codeSize);
    writer.finish();
}

} // namespace

QRgb paletteColour(int index) {
    if (index < kCubeColours) {
        const int r = index / (kCubeLevels * kCubeLevels);
        const int g = index / kCubeLevels % kCubeLevels;
        const int b = index % kCubeLevels;
        return qRgb(r * kCubeStep, g * kCubeStep, b * kCubeStep);
    }
    const int grey = (index - kCubeColours) * 255 / (kGreys - 1);
    return qRgb(grey, grey, grey);
}

QByteArray paletteIndices(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QByteArray indices;
    indices.reserve(static_cast<qsizetype>(image.width()) * image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int threshold = kBayer[y % 4][x % 4];
            const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
            int index;
            if (std::max({r, g, b}) - std::min({r, g, b}) < 6) {
                // Near-grey pixels use the fine grey ramp, so grey gradients stay smooth.
                index = kCubeColours + ditheredLevel((r + g + b) / 3, threshold, kGreys);
            } else {
                index = ditheredLevel(r, threshold, kCubeLevels) * kCubeLevels * kCubeLevels +
                        ditheredLevel(g, threshold, kCubeLevels) * kCubeLevels +
                        ditheredLevel(b, threshold, kCubeLevels);
            }
            indices.append(static_cast<char>(index));
        }
    }
    return indices;
}

QByteArray encodeGif(const QImage& image) {
    QByteArray out("GIF89a");
    putLe16(out, image.width());
    putLe16(out, image.height());
    out.append(static_cast<char>(0xF7)); // global colour table of 256 entries, 8-bit colour
    out.append('\0');                    // background colour index
    out.append('\0');                    // square pixels
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = paletteColour(i);
        out.append(static_cast<char>(qRed(colour)));
        out.append(static_cast<char>(qGreen(colour)));
        out.append(static_cast<char>(qBlue(colour)));
    }
    out.append(',');
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, image.width());
    putLe16(out, image.height());
    out.append('\0'); // no local colour table, not interlaced
    out.append(static_cast<char>(kMinCodeSize));
    CodeWriter writer(out);
    compress(paletteIndices(image), writer);
    out.append(';');
    return out;
}

} // namespace orlix::demo
