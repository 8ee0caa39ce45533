// Writes the fuzz targets' seed corpus: small pictures of every kind the decoder meets, made
// with libjpeg's compressor, Qt's writers and the demo pictures' GIF encoder, and true decoder
// replies, each behind the parameter bytes its target reads first.
// Usage: orlix_fuzz_seeds <corpus folder>

#include "GifWriter.h"
#include "SeedWriter.h"
#include "decode/codec/JpegReader.h"
#include "decode/process/DecoderProtocol.h"
#include "support/FrameBoxInput.h"
#include "support/JpegWriter.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

using namespace orlix::fuzz;
using namespace orlix::test;

namespace {

using Named = std::pair<QString, QByteArray>;

// The JPEG reader target reads its scale codes 0 to 5 as its six distinct scales; its flags
// byte: the second band kept from starting, shrunk (then the turn in bits 2-4, the frame size
// in bits 5-7).
constexpr int kReaderScales = 6;
constexpr int kReaderNoSecondBand = 1;
constexpr int kReaderShrunk = 2;

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

// Qt leaves the bytes after a row's last pixel as they were allocated, and its BMP writer
// writes them: zeroed, so that a seed comes out the same every time.
QImage paddingZeroed(QImage image) {
    const int used = (image.width() * image.depth() + 7) / 8;
    for (int y = 0; y < image.height(); ++y)
        std::memset(image.scanLine(y) + used, 0, std::size_t(image.bytesPerLine() - used));
    return image;
}

QByteArray qtWritten(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

std::vector<Named> jpegSeeds() {
    const QImage photo = scene(48, 40);
    std::vector<Named> seeds;
    const auto add = [&](const QString& name, const QImage& image, const JpegRecipe& recipe) {
        seeds.emplace_back(name + QStringLiteral(".jpg"), writeJpeg(image, recipe));
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
    // One component with sampling factors of 2 x 2: valid, and unlike libjpeg's own 1 x 1.
    add("grey", photo, {JpegSpace::Grey, Subsampling::S420});
    add("grey-progressive", photo, {JpegSpace::Grey, Subsampling::S444, Coding::Huffman, true});
    add("rgb", photo, {JpegSpace::Rgb, Subsampling::S444});
    // Inks as their complement, black taken out (not Adobe's inverted ones).
    JpegRecipe inks{JpegSpace::Cmyk, Subsampling::S444};
    inks.inks = Inks::BlackTakenOut;
    add("cmyk", photo, inks);
    inks.space = JpegSpace::Ycck;
    inks.subsampling = Subsampling::S420;
    add("ycck", photo, inks);
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
    seeds.emplace_back("claims-huge.jpg", withFrameSize(baseline, {20000, 20000}));
    seeds.emplace_back("claims-large.jpg", withFrameSize(baseline, {2048, 1536}));
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
        seeds.emplace_back(QStringLiteral("bitmap-%1.bmp").arg(name),
                           qtWritten(paddingZeroed(image), "BMP"));
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

// A view pictures are shown fitted in, as the targets' inputs give it: its size in logical
// pixels (0 x 0: none) and its screen's pixel ratio (a code, kDevicePixelRatios).
struct View {
    int width = 0;
    int height = 0;
    int ratioCode = 0;

    orlix::FitBox frameBox() const { return frameBoxInput(width, height, ratioCode); }
    // The fit box the program asks for with this view's frame box.
    QSize fitInto() const { return frameBox().isEmpty() ? QSize() : frameBox().deviceBox(); }
};

void appendLittleEndian(QByteArray& input, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        input.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The decode request's input (DecodeRequestTarget): the fit box (width, height; two bytes
// each), flags (hurried, the view's ratio code), the view's size, then the file.
QByteArray decodeInput(QSize fitInto, const QByteArray& file, View view = {},
                       bool hurried = false) {
    QByteArray input;
    appendLittleEndian(input, std::uint32_t(std::max(0, fitInto.width())), 2);
    appendLittleEndian(input, std::uint32_t(std::max(0, fitInto.height())), 2);
    appendLittleEndian(input, (hurried ? 1u : 0u) | std::uint32_t(view.ratioCode << 1), 1);
    appendLittleEndian(input, std::uint32_t(view.width), 2);
    appendLittleEndian(input, std::uint32_t(view.height), 2);
    return input + file;
}

// Pictures shown fitted in views they do not fit unscaled in, so that they come as frames:
// JPEGs shrunk as they are decoded (turned upright on the way, through a colour transform),
// bitmaps and GIFs shrunk whole, with and without transparency, on screens of every ratio.
constexpr std::pair<const char*, View> kFramedSeeds[] = {
    {"baseline-420.jpg", {24, 20, 0}},   {"progressive-444.jpg", {20, 20, 1}},
    {"exif-6.jpg", {16, 30, 0}},         {"exif-3.jpg", {16, 16, 3}},
    {"exif-5.jpg", {30, 12, 2}},         {"cmyk.jpg", {30, 25, 2}},
    {"grey.jpg", {12, 10, 0}},           {"restart.jpg", {40, 20, 1}},
    {"bitmap-rgb.bmp", {20, 20, 0}},     {"bitmap-argb.bmp", {16, 16, 2}},
    {"bitmap-indexed.bmp", {30, 10, 1}}, {"picture.gif", {10, 10, 3}},
};

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

// A decoder reply's input (DecoderReplyTarget): the request's fit box and view size, flags
// (bit 0: told to stop; bits 1-2: 0 nothing travels with the reply, 1 memory; bits 3-4: the
// view's ratio code), the memory's seals and size, then the reply's bytes.
QByteArray replyInput(QSize fitInto, View view, bool stopAsked, bool memory, int seals,
                      std::uint32_t memoryBytes, const orlix::DecodeReplyMessage& reply) {
    QByteArray input;
    for (const int length : {fitInto.width(), fitInto.height(), view.width, view.height})
        appendLittleEndian(input, std::uint32_t(std::max(0, length)), 2);
    appendLittleEndian(
        input, (stopAsked ? 1u : 0u) | (memory ? 2u : 0u) | std::uint32_t(view.ratioCode << 3), 1);
    appendLittleEndian(input, std::uint32_t(seals), 1);
    appendLittleEndian(input, memoryBytes, 4);
    return input + QByteArray(reinterpret_cast<const char*>(&reply), sizeof reply);
}

// A reply to the request numbered 7 with nothing in it, its padding zeros too, so that the
// seeds come out the same every time.
orlix::DecodeReplyMessage blankReply(orlix::ReplyKind kind) {
    orlix::DecodeReplyMessage reply;
    std::memset(static_cast<void*>(&reply), 0, sizeof reply);
    reply.head.tag = orlix::MessageTag::DecodeReply;
    reply.head.sequence = 7;
    reply.kind = kind;
    reply.picture.eighths = orlix::DecodeResult::kWhole;
    reply.picture.layout.format = QImage::Format_Invalid;
    return reply;
}

// True replies, as the program's decoder sends them for a request numbered 7: pictures lent
// and given, whole and fitted, opaque and not, a failure, and a stop.
std::vector<Named> replySeeds() {
    using namespace orlix;
    const auto picture = [](QSize whole, QSize fitInto, QImage::Format format) {
        DecodeReplyMessage reply = blankReply(ReplyKind::Picture);
        ReplyPicture& decoded = reply.picture;
        decoded.pixelWidth = whole.width();
        decoded.pixelHeight = whole.height();
        decoded.eighths = StandardPictureDecoder::jpegEighthsFor(whole, fitInto);
        const QSize size = JpegReader::scaledSize(whole, decoded.eighths);
        decoded.layout.width = size.width();
        decoded.layout.height = size.height();
        decoded.layout.bytesPerLine = std::int64_t(size.width()) * 4;
        decoded.layout.format = format;
        decoded.lent = decoded.layout.bytes() <= kLentBytesLimit ? 1 : 0;
        return reply;
    };
    // The frame of a picture that does not fit its view unscaled: 24-bit and given.
    const auto frame = [](QSize whole, View view, bool jpeg) {
        DecodeReplyMessage reply = blankReply(ReplyKind::Picture);
        ReplyPicture& decoded = reply.picture;
        decoded.pixelWidth = whole.width();
        decoded.pixelHeight = whole.height();
        decoded.eighths = jpeg ? StandardPictureDecoder::jpegEighthsFor(whole, view.fitInto())
                               : DecodeResult::kWhole;
        const QSize size = StandardPictureDecoder::frameFor(whole, view.frameBox());
        decoded.layout.width = size.width();
        decoded.layout.height = size.height();
        decoded.layout.bytesPerLine = (std::int64_t(size.width()) * 3 + 3) / 4 * 4;
        decoded.layout.format = kFrameFormat;
        decoded.lent = 0;
        decoded.framed = 1;
        return reply;
    };
    const auto lentBytes = [](const DecodeReplyMessage& reply) {
        constexpr std::int64_t kGranule = 1 << 20; // the lender's
        return std::uint32_t((reply.picture.layout.bytes() + kGranule - 1) / kGranule * kGranule);
    };
    std::vector<Named> seeds;
    const auto add = [&](const char* name, QSize fitInto, const DecodeReplyMessage& reply,
                         View view = {}) {
        const bool lent = reply.picture.lent == 1;
        const std::uint32_t bytes =
            lent ? lentBytes(reply) : std::uint32_t(reply.picture.layout.bytes());
        seeds.emplace_back(
            QString::fromLatin1(name),
            replyInput(fitInto, view, false, true, lent ? kLentSeals : kGivenSeals, bytes, reply));
    };
    add("lent-whole.bin", {}, picture({40, 30}, {}, QImage::Format_RGB32));
    add("lent-transparent.bin", {}, picture({33, 17}, {}, QImage::Format_ARGB32));
    add("lent-fitted.bin", {1920, 1080}, picture({6000, 4000}, {1920, 1080}, QImage::Format_RGB32));
    // Over the lent limit (40 MiB), under the target's largest memory (48 MiB).
    add("given-whole.bin", {}, picture({3400, 3400}, {}, QImage::Format_RGB32));
    // Frames: a photo on a full-HD screen, on one at 1.5 device pixels a logical pixel, and a
    // bitmap (never reduced before it is shrunk).
    for (const auto& [name, whole, view, jpeg] :
         {std::tuple("given-framed.bin", QSize(6000, 4000), View{1920, 1080, 0}, true),
          std::tuple("given-framed-hidpi.bin", QSize(4000, 3000), View{1280, 720, 2}, true),
          std::tuple("given-framed-bitmap.bin", QSize(900, 700), View{400, 300, 1}, false)})
        add(name, view.fitInto(), frame(whole, view, jpeg), view);
    DecodeReplyMessage failure = blankReply(ReplyKind::Failure);
    failure.error = static_cast<std::int32_t>(LoadError::InvalidPicture);
    seeds.emplace_back("failure.bin", replyInput({}, {}, false, false, 0, 0, failure));
    seeds.emplace_back("stopped.bin", replyInput({800, 600}, {800, 600, 0}, true, false, 0, 0,
                                                 blankReply(ReplyKind::Stopped)));
    return seeds;
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
    // Fit boxes that take the 48 x 40 scene at every scale: whole, 1/2, 1/4, 1/8, not enlarged,
    // portrait, 3/8 and 5/8.
    const std::pair<int, int> boxes[] = {{0, 0},     {24, 20}, {12, 10}, {6, 5},
                                         {200, 200}, {20, 24}, {18, 15}, {30, 25}};
    int index = 0;
    const std::vector<Named> jpegs = jpegSeeds();
    for (const auto& [name, file] : jpegs) {
        const auto [width, height] = boxes[index++ % std::size(boxes)];
        writer.add("decode", name, decodeInput(QSize(width, height), file));
    }
    // Every scale in turn (the target's first six codes); two bands from 8 rows up; now and
    // then cancelled at an early check, or without a second band; every third shrunk, to
    // every frame size and turned every way in turn.
    index = 0;
    for (const auto& [name, file] : jpegs) {
        const int cancelAt = index % 7 == 3 ? index % 3 + 1 : 0;
        const int shrunk =
            index % 3 == 1 ? kReaderShrunk | (index / 3 % 8) << 2 | (index % 8) << 5 : 0;
        const int flags = (index % 5 == 4 ? kReaderNoSecondBand : 0) | shrunk;
        writer.add("jpeg_reader", name,
                   jpegReaderInput(index % kReaderScales, 8, cancelAt, flags, file));
        ++index;
    }
    const std::vector<Named> others = otherPictureSeeds();
    for (const auto& [name, file] : others)
        writer.add("decode", name, decodeInput({}, file));
    for (const auto& [name, view] : kFramedSeeds) {
        for (const std::vector<Named>* seeds : {&jpegs, &others}) {
            for (const auto& [seedName, file] : *seeds) {
                if (seedName == QLatin1String(name))
                    writer.add("decode", QStringLiteral("framed-") + seedName,
                               decodeInput(view.fitInto(), file, view));
            }
        }
    }
    // A photo tall enough to be decoded in two bands when someone waits for it (over 512 rows
    // at the 5/8 its view asks for), each band shrinking its rows into the one frame.
    const View tallView{64, 600, 0};
    writer.add("decode", "framed-tall-hurried.jpg",
               decodeInput(tallView.fitInto(), writeJpeg(scene(64, 1100), {}), tallView, true));
    for (const auto& [name, input] : replySeeds())
        writer.add("decoder_reply", name, input);
    index = 0;
    for (const char* list : kUriLists)
        writer.add("uri_list", QStringLiteral("list-%1.txt").arg(++index), list);
    std::printf("%d seeds, %lld bytes\n", writer.files(), static_cast<long long>(writer.bytes()));
    return 0;
}
