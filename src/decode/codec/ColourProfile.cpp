#include "decode/codec/ColourProfile.h"

#include "platform/files/PictureFile.h"

#include <QtEndian>

#include <lcms2.h>

#include <map>

// The profile is taken from the file's own markers rather than from Qt's readers: Qt keeps
// the bytes only of the matrix profiles it can parse itself, and never for BMP and GIF files.
// No library the program uses reads Exif's interoperability index either.

namespace orlix {

namespace {

// A JPEG has a handful of segments before its image data; a file with many more is damaged or
// built to make the walk slow.
constexpr int kMaxSegments = 1024;

enum JpegMarker : unsigned char {
    kTem = 0x01,
    kSof0 = 0xC0,
    kDht = 0xC4,
    kJpg = 0xC8,
    kDac = 0xCC,
    kSof15 = 0xCF,
    kRst0 = 0xD0,
    kRst7 = 0xD7,
    kEoi = 0xD9,
    kSos = 0xDA,
    kApp1 = 0xE1,
    kApp2 = 0xE2,
    kFill = 0xFF,
};

enum GifBlock : unsigned char {
    kExtension = 0x21,
    kImage = 0x2C,
    kApplicationLabel = 0xFF,
};

// The bitmap colour-space tag of a profile stored in the file itself ("MBED").
constexpr quint32 kBmpProfileEmbedded = 0x4D424544;
// Offsets within a BITMAPV5HEADER, which starts right after the 14-byte file header.
constexpr std::int64_t kBmpInfoHeader = 14;
constexpr quint32 kBmpV5HeaderSize = 124;
constexpr int kBmpColourSpaceType = 56;
constexpr int kBmpProfileData = 112;
constexpr int kBmpProfileSize = 116;

constexpr char kIccMarkerName[] = "ICC_PROFILE"; // APP2, followed by a zero byte
constexpr int kIccChunkHeader = 14;              // the name, its zero, sequence and count
constexpr char kGifIccApplication[] = "ICCRGBG1012";

// Exif tags on the way to the interoperability index.
enum ExifTag : quint16 {
    kInteropIndex = 0x0001,
    kExifIfd = 0x8769,
    kInteropIfd = 0xA005,
};
constexpr quint16 kExifAscii = 2;
constexpr int kMaxIfdEntries = 512;

// Bytes of `file` at `offset`; shorter at the end of the file or on a read error.
QByteArray bytesAt(const platform::PictureFile& file, std::int64_t offset, qsizetype count) {
    QByteArray bytes(count, Qt::Uninitialized);
    const std::int64_t read = file.readAt(offset, bytes.data(), count);
    bytes.truncate(read < 0 ? 0 : static_cast<qsizetype>(read));
    return bytes;
}

int byteAt(const platform::PictureFile& file, std::int64_t offset) {
    char byte = 0;
    return file.readAt(offset, &byte, 1) == 1 ? static_cast<unsigned char>(byte) : -1;
}

const uchar* data(const QByteArray& bytes) {
    return reinterpret_cast<const uchar*>(bytes.constData());
}

// A TIFF structure (Exif's), read with bounds checks: every read past its end gives 0.
class TiffBytes {
public:
    explicit TiffBytes(QByteArray bytes) : bytes_(std::move(bytes)) {
        bigEndian_ = bytes_.startsWith("MM");
        valid_ = (bigEndian_ || bytes_.startsWith("II")) && u16(2) == 42;
    }
    bool valid() const { return valid_; }
    quint32 u16(quint32 at) const {
        if (at > quint32(bytes_.size()) || bytes_.size() - at < 2)
            return 0;
        return bigEndian_ ? qFromBigEndian<quint16>(data(bytes_) + at)
                          : qFromLittleEndian<quint16>(data(bytes_) + at);
    }
    quint32 u32(quint32 at) const {
        if (at > quint32(bytes_.size()) || bytes_.size() - at < 4)
            return 0;
        return bigEndian_ ? qFromBigEndian<quint32>(data(bytes_) + at)
                          : qFromLittleEndian<quint32>(data(bytes_) + at);
    }
    // The offset of the entry for `tag` in the directory at `directory`; 0 when absent.
    quint32 entry(quint32 directory, quint16 tag) const {
        if (directory == 0)
            return 0;
        const quint32 count = std::min<quint32>(u16(directory), kMaxIfdEntries);
        for (quint32 i = 0; i < count; ++i) {
            const quint32 at = directory + 2 + 12 * i;
            if (u16(at) == tag)
                return at;
        }
        return 0;
    }
    QByteArray inlineValue(quint32 entry) const { return bytes_.mid(entry + 8, 4); }

private:
    QByteArray bytes_;
    bool bigEndian_ = false;
    bool valid_ = false;
};

// Whether an Exif segment's interoperability index is "R03", the DCF mark of Adobe RGB.
bool exifSaysAdobeRgb(const QByteArray& segment) {
    static const QByteArray kExifName("Exif\0\0", 6);
    if (!segment.startsWith(kExifName))
        return false;
    const TiffBytes tiff(segment.mid(kExifName.size()));
    if (!tiff.valid())
        return false;
    const quint32 exif = tiff.entry(tiff.u32(4), kExifIfd);
    const quint32 interop = exif ? tiff.entry(tiff.u32(exif + 8), kInteropIfd) : 0;
    const quint32 index = interop ? tiff.entry(tiff.u32(interop + 8), kInteropIndex) : 0;
    return index && tiff.u16(index + 2) == kExifAscii && tiff.u32(index + 4) == 4 &&
           tiff.inlineValue(index) == QByteArray("R03\0", 4);
}

// The chunks of a JPEG's profile put back together; empty unless each of 1..count is there
// exactly once.
QByteArray joinedChunks(const std::map<int, QByteArray>& chunks, int count) {
    if (count == 0 || int(chunks.size()) != count || chunks.begin()->first != 1 ||
        chunks.rbegin()->first != count)
        return {};
    QByteArray joined;
    for (const auto& chunk : chunks)
        joined += chunk.second;
    return joined;
}

ColourModel modelOfComponents(int components) {
    switch (components) {
    case 1:
        return ColourModel::Grey;
    case 4:
        return ColourModel::Cmyk;
    default:
        return ColourModel::Rgb;
    }
}

bool isFrameHeader(unsigned char marker) {
    return marker >= kSof0 && marker <= kSof15 && marker != kDht && marker != kJpg &&
           marker != kDac;
}

ColourProfile fromJpeg(const platform::PictureFile& file) {
    ColourProfile found;
    std::map<int, QByteArray> chunks;
    int chunkCount = 0;
    bool damaged = false;
    bool adobeRgb = false;
    qsizetype total = 0;
    std::int64_t offset = 2; // after the start-of-image marker
    for (int segment = 0; segment < kMaxSegments; ++segment) {
        if (byteAt(file, offset) != kFill)
            break;
        const int marker = byteAt(file, offset + 1);
        if (marker == kFill) { // fill byte before a marker
            ++offset;
            continue;
        }
        if (marker < 0 || marker == kSos || marker == kEoi)
            break;
        if (marker == kTem || (marker >= kRst0 && marker <= kRst7)) {
            offset += 2;
            continue;
        }
        const QByteArray lengthBytes = bytesAt(file, offset + 2, 2);
        if (lengthBytes.size() < 2)
            break;
        const int length = qFromBigEndian<quint16>(data(lengthBytes));
        if (length < 2)
            break;
        const std::int64_t payload = offset + 4;
        const int payloadLength = length - 2;
        offset = payload + payloadLength;
        if (marker == kApp2 && payloadLength > kIccChunkHeader) {
            const QByteArray chunk = bytesAt(file, payload, payloadLength);
            if (chunk.size() < payloadLength || !chunk.startsWith(kIccMarkerName))
                continue;
            const int sequence = data(chunk)[12], count = data(chunk)[13];
            total += payloadLength - kIccChunkHeader;
            if (chunks.count(sequence) || (chunkCount && count != chunkCount) ||
                total > ColourProfile::kMaxBytes)
                damaged = true;
            chunkCount = count;
            chunks[sequence] = chunk.mid(kIccChunkHeader);
        } else if (marker == kApp1 && !adobeRgb) {
            adobeRgb = exifSaysAdobeRgb(bytesAt(file, payload, payloadLength));
        } else if (isFrameHeader(static_cast<unsigned char>(marker))) {
            const QByteArray header = bytesAt(file, payload, 6);
            if (header.size() == 6)
                found.model = modelOfComponents(data(header)[5]);
        }
    }
    if (!damaged)
        found.icc = joinedChunks(chunks, chunkCount);
    if (found.icc.isEmpty() && chunks.empty() && adobeRgb && found.model == ColourModel::Rgb)
        found.icc = ColourProfile::adobeRgb();
    return found;
}

ColourProfile fromBmp(const platform::PictureFile& file) {
    ColourProfile found;
    const QByteArray header = bytesAt(file, kBmpInfoHeader, kBmpV5HeaderSize);
    const auto u32 = [&header](int at) { return qFromLittleEndian<quint32>(data(header) + at); };
    if (header.size() < int(kBmpV5HeaderSize) || u32(0) < kBmpV5HeaderSize ||
        u32(kBmpColourSpaceType) != kBmpProfileEmbedded)
        return found;
    const quint32 size = u32(kBmpProfileSize);
    if (size == 0 || size > ColourProfile::kMaxBytes)
        return found;
    const QByteArray icc = bytesAt(file, kBmpInfoHeader + u32(kBmpProfileData), size);
    if (icc.size() == qsizetype(size))
        found.icc = icc;
    return found;
}

// Walks the data sub-blocks starting at `offset` up to their terminator, which `offset` ends
// past; joins them into `into` unless it is null. False when the file ends first or the data
// passes kMaxBytes.
bool gifSubBlocks(const platform::PictureFile& file, std::int64_t& offset, QByteArray* into) {
    for (;;) {
        const int size = byteAt(file, offset++);
        if (size <= 0)
            return size == 0;
        if (into) {
            if (into->size() + size > ColourProfile::kMaxBytes)
                return false;
            const QByteArray block = bytesAt(file, offset, size);
            if (block.size() < size)
                return false;
            *into += block;
        }
        offset += size;
    }
}

ColourProfile fromGif(const platform::PictureFile& file) {
    ColourProfile found;
    const QByteArray screen = bytesAt(file, 0, 13); // header and logical screen descriptor
    if (screen.size() < 13)
        return found;
    const int packed = data(screen)[10];
    std::int64_t offset = 13;
    if (packed & 0x80) // a global colour table of 2^(n+1) entries
        offset += 3 << ((packed & 7) + 1);
    const qsizetype identifierSize = qsizetype(sizeof kGifIccApplication) - 1;
    // Extensions before the first image: a profile after it would come too late for the
    // picture that is shown, the first frame.
    for (int block = 0; block < kMaxSegments && byteAt(file, offset) == kExtension; ++block) {
        const int label = byteAt(file, offset + 1);
        offset += 2;
        // An application extension starts with a block of its own naming the application.
        if (label == kApplicationLabel && byteAt(file, offset) == identifierSize &&
            bytesAt(file, offset + 1, identifierSize) == kGifIccApplication) {
            offset += 1 + identifierSize;
            QByteArray icc;
            if (gifSubBlocks(file, offset, &icc))
                found.icc = icc;
            break;
        }
        if (!gifSubBlocks(file, offset, nullptr))
            break;
    }
    return found;
}

} // namespace

ColourProfile ColourProfile::readFrom(const platform::PictureFile& file, PictureKind kind) {
    switch (kind) {
    case PictureKind::Jpeg:
        return fromJpeg(file);
    case PictureKind::Bmp:
        return fromBmp(file);
    case PictureKind::Gif:
        return fromGif(file);
    case PictureKind::Unknown:
        break;
    }
    return {};
}

const QByteArray& ColourProfile::adobeRgb() {
    static const QByteArray profile = [] {
        const cmsCIExyY d65{0.3127, 0.3290, 1.0};
        const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
        cmsContext context = cmsCreateContext(nullptr, nullptr);
        cmsToneCurve* gamma = cmsBuildGamma(context, 563.0 / 256.0);
        cmsToneCurve* curves[3] = {gamma, gamma, gamma};
        cmsHPROFILE adobe = cmsCreateRGBProfileTHR(context, &d65, &primaries, curves);
        QByteArray bytes;
        cmsUInt32Number size = 0;
        if (adobe && cmsSaveProfileToMem(adobe, nullptr, &size)) {
            bytes.resize(qsizetype(size));
            if (!cmsSaveProfileToMem(adobe, bytes.data(), &size))
                bytes.clear();
        }
        if (adobe)
            cmsCloseProfile(adobe);
        cmsFreeToneCurve(gamma);
        cmsDeleteContext(context);
        return bytes;
    }();
    return profile;
}

} // namespace orlix
