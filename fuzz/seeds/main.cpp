// Writes the fuzz targets' seed corpus: small pictures of every kind the decoder meets, made
// with libjpeg's compressor, Qt's writers and the demo pictures' GIF encoder, each behind the
// parameter bytes its target reads first.
// Usage: orlix_fuzz_seeds <corpus folder>

#include "GifWriter.h"
#include "JpegSeeds.h"
#include "SeedWriter.h"

#include <QBuffer>
#include <QImageWriter>

#include <cstdio>
#include <utility>
#include <vector>

using namespace orlix::fuzz;

namespace {

using Named = std::pair<QString, QByteArray>;

// A gradient with a disc: smooth areas, edges and every colour channel at work.
QImage scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            const bool disc = dx * dx + dy * dy < width * height / 8;
            image.setPixel(x, y,
                           disc ? qRgb(230, 40, 60) : qRgb(x * 255 / width, y * 255 / height, 128));
        }
    }
    return image;
}

QByteArray qtWritten(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// The JPEG with the size in its frame header replaced: a header that claims a picture much
// larger than the data holds.
QByteArray withClaimedSize(QByteArray jpeg, int width, int height) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<unsigned char>(jpeg.at(i + 1));
        if (jpeg.at(i) == '\xFF' && marker >= 0xC0 && marker <= 0xC2) {
            jpeg[i + 5] = static_cast<char>(height >> 8);
            jpeg[i + 6] = static_cast<char>(height);
            jpeg[i + 7] = static_cast<char>(width >> 8);
            jpeg[i + 8] = static_cast<char>(width);
            break;
        }
    }
    return jpeg;
}

std::vector<Named> jpegSeeds() {
    const QImage photo = scene(48, 40);
    std::vector<Named> seeds;
    const auto add = [&](const QString& name, const QImage& image, const JpegRecipe& recipe) {
        seeds.emplace_back(name + QStringLiteral(".jpg"), encodeJpeg(image, recipe));
    };
    const std::pair<const char*, Subsampling> samplings[] = {{"444", Subsampling::S444},
                                                             {"422", Subsampling::S422},
                                                             {"420", Subsampling::S420},
                                                             {"440", Subsampling::S440},
                                                             {"411", Subsampling::S411}};
    for (const auto& [name, subsampling] : samplings) {
        add(QStringLiteral("baseline-%1").arg(name), photo, {JpegSpace::YCbCr, subsampling});
        JpegRecipe progressive{JpegSpace::YCbCr, subsampling};
        progressive.progressive = true;
        add(QStringLiteral("progressive-%1").arg(name), photo, progressive);
    }
    add("arithmetic", photo, {JpegSpace::YCbCr, Subsampling::S420, Coding::Arithmetic});
    add("arithmetic-progressive", photo,
        {JpegSpace::YCbCr, Subsampling::S422, Coding::Arithmetic, true});
    add("optimised", photo, {JpegSpace::YCbCr, Subsampling::S420, Coding::OptimisedHuffman});
    add("restart", photo, {JpegSpace::YCbCr, Subsampling::S420, Coding::Huffman, false, 1});
    add("restart-progressive", photo,
        {JpegSpace::YCbCr, Subsampling::S444, Coding::Huffman, true, 2});
    add("grey", photo, {JpegSpace::Grey});
    add("grey-progressive", photo, {JpegSpace::Grey, Subsampling::S444, Coding::Huffman, true});
    add("rgb", photo, {JpegSpace::Rgb, Subsampling::S444});
    add("cmyk", photo, {JpegSpace::Cmyk, Subsampling::S444});
    add("ycck", photo, {JpegSpace::Ycck, Subsampling::S420});
    for (int orientation = 1; orientation <= 8; ++orientation) {
        JpegRecipe turned;
        turned.orientation = orientation;
        add(QStringLiteral("exif-%1").arg(orientation), photo, turned);
    }
    // Heights on both sides of an MCU row (8 and 16 rows) and of the lowered band split.
    for (const int height : {1, 7, 8, 9, 15, 16, 17, 31, 32, 33}) {
        add(QStringLiteral("height-%1").arg(height), scene(24, height), {});
        JpegRecipe progressive;
        progressive.progressive = true;
        if (height % 8 == 1)
            add(QStringLiteral("height-%1-progressive").arg(height), scene(24, height),
                progressive);
    }
    const QByteArray baseline = seeds.front().second;
    const QByteArray progressive = seeds[1].second;
    seeds.emplace_back("cut-baseline.jpg", baseline.left(baseline.size() * 2 / 3));
    seeds.emplace_back("cut-progressive.jpg", progressive.left(progressive.size() / 2));
    seeds.emplace_back("cut-header.jpg", baseline.left(160));
    seeds.emplace_back("claims-huge.jpg", withClaimedSize(baseline, 20000, 20000));
    seeds.emplace_back("claims-large.jpg", withClaimedSize(baseline, 2048, 1536));
    return seeds;
}

std::vector<Named> otherPictureSeeds() {
    const QImage photo = scene(40, 30);
    std::vector<Named> seeds;
    const std::pair<const char*, QImage> bitmaps[] = {
        {"mono", photo.convertToFormat(QImage::Format_Mono)},
        {"indexed", photo.convertToFormat(QImage::Format_Indexed8)},
        {"rgb", photo},
        {"argb", photo.convertToFormat(QImage::Format_ARGB32)},
    };
    for (const auto& [name, image] : bitmaps)
        seeds.emplace_back(QStringLiteral("bitmap-%1.bmp").arg(name), qtWritten(image, "BMP"));
    const QByteArray bitmap = qtWritten(photo, "BMP");
    seeds.emplace_back("cut-bitmap.bmp", bitmap.left(bitmap.size() / 2));
    const QByteArray gif = orlix::demo::encodeGif(photo);
    seeds.emplace_back("picture.gif", gif);
    seeds.emplace_back("tiny.gif", orlix::demo::encodeGif(scene(3, 2)));
    seeds.emplace_back("cut.gif", gif.left(gif.size() / 2));
    // A GIF whose logical screen (16384 x 16385) is over the pixel limit.
    seeds.emplace_back("screen-huge.gif",
                       QByteArray::fromHex("47494638396100400140800000000000ffffff2c0000000001"
                                           "00010000020244010021f90400000000003b"));
    return seeds;
}

// The decode request's input: the fit box (width, height; two bytes each), then the file.
QByteArray decodeInput(int fitWidth, int fitHeight, const QByteArray& file) {
    QByteArray input;
    for (const int length : {fitWidth, fitHeight})
        input.append(static_cast<char>(length & 0xFF)).append(static_cast<char>(length >> 8));
    return input + file;
}

// The JPEG reader's input: the scale code (JpegReaderTarget), the band split's rows less one,
// the check to cancel at (two bytes), flags, the scan limit, then the file.
QByteArray jpegReaderInput(int scaleCode, int splitRows, int cancelAt, int flags,
                           const QByteArray& file) {
    QByteArray input;
    const int values[] = {scaleCode, splitRows - 1, cancelAt & 0xFF, cancelAt >> 8, flags, 0};
    for (const int value : values)
        input.append(static_cast<char>(value));
    return input + file;
}

const char* const kUriLists[] = {
    "file:///home/user/Pictures/Holiday%202024\r\n",
    "# dragged from a file manager\r\nfile:///mnt/photos\r\nfile:///media/usb/DCIM\r\n",
    "file://localhost/srv/pictures/%E5%86%99%E7%9C%9F\n",
    "file://server/share/pictures\r\nhttps://example.org/a.jpg\r\nfile:///local\r\n",
    "file:///old/%93%FA%96%7B%8C%EA\r\n", // Shift-JIS bytes, not UTF-8
    "file:/no/authority\r\n\r\n   \r\nfile:///with%00nul\r\n",
    "FILE:///UPPER%2fcase%zz%4\r\nfile:///q?query#fragment\r\nfile://\r\nfile:relative\r\n",
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    SeedWriter writer(QString::fromLocal8Bit(argv[1]));
    // Fit boxes from "the whole picture" down to an eighth, landscape and portrait.
    const std::pair<int, int> boxes[] = {{0, 0}, {24, 20}, {12, 10}, {6, 5}, {200, 200}, {20, 24}};
    int index = 0;
    const std::vector<Named> jpegs = jpegSeeds();
    for (const auto& [name, file] : jpegs) {
        const auto [width, height] = boxes[index++ % std::size(boxes)];
        writer.add("decode", name, decodeInput(width, height, file));
    }
    // Every scale in turn; two bands from 8 rows up; now and then cancelled at an early
    // check, or without a second band.
    index = 0;
    for (const auto& [name, file] : jpegs) {
        const int cancelAt = index % 7 == 3 ? index % 3 + 1 : 0;
        const int flags = index % 5 == 4 ? 1 : 0;
        writer.add("jpeg_reader", name, jpegReaderInput(index % 5, 8, cancelAt, flags, file));
        ++index;
    }
    for (const auto& [name, file] : otherPictureSeeds())
        writer.add("decode", name, decodeInput(0, 0, file));
    index = 0;
    for (const char* list : kUriLists)
        writer.add("uri_list", QStringLiteral("list-%1.txt").arg(++index), list);
    std::printf("%d seeds, %lld bytes\n", writer.files(), static_cast<long long>(writer.bytes()));
    return 0;
}
