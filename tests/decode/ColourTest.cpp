// Colour management on the decoding floor: the profiles a picture carries (JPEG, BMP, GIF, and
// Exif's Adobe RGB mark) and the display's reach the decoded picture as Little CMS's own
// transform of the plain decode gives them; pictures with no profile on either side, or sRGB
// on both, stay exactly as decoded; damaged profiles count as sRGB, in silence.

#include "decode/codec/ColourProfile.h"
#include "decode/codec/ColourTransform.h"
#include "decode/codec/PictureDecoder.h"

#include "GifWriter.h"
#include "PictureFileTest.h"
#include "support/JpegWriter.h"
#include "support/PrintedDuring.h"

#include <QtEndian>
#include <gtest/gtest.h>

#include <lcms2.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace orlix {
namespace {

using test::profileFile;

QByteArray saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A matrix-shaper RGB profile made by Little CMS: a D65 white, `primaries` (x, y) and a curve
// for each channel (one for all three unless told).
QByteArray rgbProfile(const cmsCIExyYTRIPLE& primaries, const cmsToneCurve* red,
                      const cmsToneCurve* green = nullptr, const cmsToneCurve* blue = nullptr) {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    cmsToneCurve* curves[3] = {const_cast<cmsToneCurve*>(red),
                               const_cast<cmsToneCurve*>(green ? green : red),
                               const_cast<cmsToneCurve*>(blue ? blue : red)};
    return saved(cmsCreateRGBProfile(&white, &primaries, curves));
}

struct FreeCurve {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, FreeCurve>;

constexpr cmsCIExyYTRIPLE kSrgbPrimaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};

// What a table profile's AToB0 samples: a conversion to Lab, for CMYK through plain RGB (no
// ink is white, full black is black).
struct Sampler {
    cmsHTRANSFORM toLab;
    bool cmyk;
};

cmsInt32Number sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    const Sampler& sampler = *static_cast<const Sampler*>(cargo);
    cmsUInt16Number rgb[3] = {in[0], in[1], in[2]};
    for (int c = 0; sampler.cmyk && c < 3; ++c)
        rgb[c] = cmsUInt16Number((65535u - in[c]) * (65535u - in[3]) / 65535u);
    cmsDoTransform(sampler.toLab, rgb, out, 1);
    return TRUE;
}

// A table (cLUT) input profile of ICC `version` for `space` (RGB or CMYK), made with Little
// CMS: RGB as sRGB's primaries under a gamma of 1.8, CMYK as plain ink over sRGB.
QByteArray tableProfile(cmsColorSpaceSignature space, double version) {
    const bool cmyk = space == cmsSigCmykData;
    const cmsUInt32Number channels = cmyk ? 4 : 3;
    const Curve gamma{cmsBuildGamma(nullptr, 1.8)};
    const QByteArray matrix = rgbProfile(kSrgbPrimaries, gamma.get());
    cmsHPROFILE rgb =
        cmyk ? cmsCreate_sRGBProfile()
             : cmsOpenProfileFromMem(matrix.constData(), cmsUInt32Number(matrix.size()));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    Sampler sampler{cmsCreateTransform(rgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0),
                    cmyk};
    cmsHPROFILE table = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(table, version);
    cmsSetDeviceClass(table, cmyk ? cmsSigOutputClass : cmsSigInputClass);
    cmsSetColorSpace(table, space);
    cmsSetPCS(table, cmsSigLabData);
    cmsWriteTag(table, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, channels, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, cmyk ? 9 : 17, channels, 3, nullptr);
    cmsStageSampleCLut16bit(clut, sample, &sampler, 0);
    // Curves on either side, as a v4 lutAToB table wants them: here they change nothing.
    cmsPipelineInsertStage(pipeline, cmsAT_END,
                           cmsStageAllocToneCurves(nullptr, channels, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(table, cmsSigAToB0Tag, pipeline);
    cmsPipelineFree(pipeline);
    cmsDeleteTransform(sampler.toLab);
    cmsCloseProfile(rgb);
    cmsCloseProfile(lab);
    return saved(table);
}

// Patches of flat colour on the 16-pixel grid of a JPEG's blocks, so that a JPEG keeps them.
QImage patches() {
    const QRgb colours[] = {qRgb(200, 40, 40),   qRgb(40, 200, 40),  qRgb(40, 40, 200),
                            qRgb(128, 128, 128), qRgb(250, 220, 30), qRgb(20, 20, 20),
                            qRgb(90, 160, 230),  qRgb(255, 255, 255)};
    QImage image(64, 32, QImage::Format_RGB32);
    for (int i = 0; i < 8; ++i)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                image.setPixel((i % 4) * 16 + x, (i / 4) * 16 + y, colours[i]);
    return image;
}

// `jpeg` with `icc` in APP2 segments of at most `chunk` bytes, right after its start.
QByteArray withIcc(const QByteArray& jpeg, const QByteArray& icc, int chunk = 60000) {
    QByteArray segments;
    const int count = int((icc.size() + chunk - 1) / chunk);
    for (int i = 0; i < count; ++i) {
        const QByteArray part = icc.mid(qsizetype(i) * chunk, chunk);
        QByteArray segment("\xFF\xE2\0\0ICC_PROFILE\0", 16);
        segment += char(i + 1);
        segment += char(count);
        segment += part;
        qToBigEndian<quint16>(quint16(segment.size() - 2), segment.data() + 2);
        segments += segment;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

// `jpeg` with an Exif segment whose interoperability index is `index` ("R03": Adobe RGB).
QByteArray withExifIndex(const QByteArray& jpeg, const char* index) {
    // Little-endian TIFF: IFD0 at 8 points to the Exif IFD at 26, which points to the
    // interoperability IFD at 44, which holds the index.
    // Each IFD holds one entry (tag, type, count, value) and no next IFD; fromHex skips the
    // spaces.
    QByteArray tiff = QByteArray::fromHex("49492a00 08000000"
                                          "0100 6987 0400 01000000 1a000000 00000000"
                                          "0100 05a0 0400 01000000 2c000000 00000000"
                                          "0100 0100 0200 04000000");
    tiff += QByteArray(index, 4) + QByteArray(4, '\0');
    QByteArray segment("\xFF\xE1\0\0Exif\0\0", 10);
    segment += tiff;
    qToBigEndian<quint16>(quint16(segment.size() - 2), segment.data() + 2);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// A version-5 bitmap of `image` carrying `icc` after its pixels.
QByteArray bmpWithIcc(const QImage& image, const QByteArray& icc) {
    QByteArray bmp = test::encodedPicture(image, "BMP"); // 14 + 40-byte header, then pixels
    const QByteArray pixels = bmp.mid(qFromLittleEndian<quint32>(bmp.constData() + 10));
    QByteArray header = bmp.mid(14, 40);
    header.resize(124, '\0');
    qToLittleEndian<quint32>(124, header.data());
    qToLittleEndian<quint32>(0x4D424544, header.data() + 56);                    // embedded
    qToLittleEndian<quint32>(quint32(124 + pixels.size()), header.data() + 112); // where
    qToLittleEndian<quint32>(quint32(icc.size()), header.data() + 116);
    QByteArray file = bmp.left(14) + header + pixels + icc;
    qToLittleEndian<quint32>(quint32(file.size()), file.data() + 2);
    qToLittleEndian<quint32>(14 + 124, file.data() + 10);
    return file;
}

// A GIF of `image` with `icc` in an ICC application extension before the picture.
QByteArray gifWithIcc(const QImage& image, const QByteArray& icc) {
    const QByteArray gif = demo::encodeGif(image);
    const int packed = static_cast<unsigned char>(gif[10]);
    const int start = 13 + ((packed & 0x80) ? 3 << ((packed & 7) + 1) : 0);
    QByteArray extension("\x21\xFF\x0BICCRGBG1012", 14);
    for (qsizetype at = 0; at < icc.size(); at += 255) {
        const QByteArray block = icc.mid(at, 255);
        extension += char(block.size());
        extension += block;
    }
    extension += '\0';
    return gif.left(start) + extension + gif.mid(start);
}

// Little CMS's own conversion of `image` from `source` to `display` (empty: sRGB).
QImage converted(QImage image, const QByteArray& source, const QByteArray& display,
                 cmsUInt32Number inputFormat = TYPE_BGRA_8) {
    const auto open = [](const QByteArray& icc) {
        return icc.isEmpty() ? cmsCreate_sRGBProfile()
                             : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    };
    cmsHPROFILE from = open(source), to = open(display);
    cmsHTRANSFORM transform =
        cmsCreateTransform(from, inputFormat, to, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    EXPECT_TRUE(transform);
    for (int y = 0; transform && y < image.height(); ++y)
        cmsDoTransform(transform, image.scanLine(y), image.scanLine(y), image.width());
    if (transform)
        cmsDeleteTransform(transform);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return image;
}

// The largest difference of one channel between two pictures of the same size.
int largestDifference(const QImage& a, const QImage& b) {
    int largest = a.size() == b.size() ? 0 : 256;
    for (int y = 0; largest < 256 && y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

class Colour : public test::PictureFileTest {
protected:
    QImage decoded(const QByteArray& bytes, const QByteArray& display = {}) {
        const QByteArray name = "picture" + QByteArray::number(++files_);
        const DecodeResult result =
            decoder_.decode(DecodeRequest{put(name, bytes), {}, display}, notCancelled);
        EXPECT_TRUE(result.ok());
        return result.image.convertToFormat(QImage::Format_RGB32);
    }

    StandardPictureDecoder decoder_;
    int files_ = 0;
    const QImage picture_ = patches();
    const QByteArray jpeg_ = test::encodedPicture(picture_, "JPEG");
    const QByteArray proPhoto_ = profileFile("colord/ProPhotoRGB.icc");
    const QByteArray adobe_ = profileFile("colord/AdobeRGB1998.icc");
    const QByteArray wide_ = profileFile("colord/WideGamutRGB.icc");
    const QByteArray srgb_ = profileFile("sRGB.icc");
};

TEST_F(Colour, ProfilesReachTheDecodedPictureAsLittleCmsConvertsThem) {
    const QByteArray swapped = profileFile("colord/SwappedRedAndGreen.icc");
    const QByteArray tableV2 = tableProfile(cmsSigRgbData, 2.1);
    const QByteArray tableV4 = tableProfile(cmsSigRgbData, 4.3);
    const QByteArray grey = profileFile("Gray.icc");
    const QImage greyPicture = picture_.convertToFormat(QImage::Format_Grayscale8);
    const QByteArray greyJpeg = test::encodedPicture(greyPicture, "JPEG");
    const QByteArray bmp = test::encodedPicture(picture_, "BMP");
    const QByteArray gif = demo::encodeGif(picture_);
    const QByteArray cmyk = test::writeJpeg(picture_, test::JpegSpace::Cmyk);
    const QByteArray cmykTable = tableProfile(cmsSigCmykData, 4.3);
    // clang-format off
    const struct {
        const char* name;
        QByteArray tagged;    // the picture with its profile (or Exif mark)
        QByteArray untagged;  // the same picture without
        QByteArray source;    // what the colours mean, for Little CMS (empty: sRGB)
        QByteArray display;
        cmsUInt32Number format = TYPE_BGRA_8; // how Little CMS is to read the plain decode
    } cases[] = {
        {"ProPhoto JPEG",               withIcc(jpeg_, proPhoto_),        jpeg_, proPhoto_, {}},
        {"ProPhoto JPEG in 5 chunks",   withIcc(jpeg_, proPhoto_, 4000),  jpeg_, proPhoto_, adobe_},
        {"table profile, v2",           withIcc(jpeg_, tableV2),          jpeg_, tableV2, {}},
        {"table profile, v4",           withIcc(jpeg_, tableV4, 1000),    jpeg_, tableV4, wide_},
        {"Exif says Adobe RGB",         withExifIndex(jpeg_, "R03"),      jpeg_, adobe_, {}},
        {"Exif says Adobe RGB, wide",   withExifIndex(jpeg_, "R03"),      jpeg_, adobe_, wide_},
        {"untagged on a wide display",  jpeg_,                            jpeg_, {}, wide_},
        {"grey JPEG",                   withIcc(greyJpeg, grey),          greyJpeg, grey, {},
                                        TYPE_GRAY_8 | EXTRA_SH(3)},
        {"ProPhoto bitmap",             bmpWithIcc(picture_, proPhoto_),  bmp, proPhoto_, adobe_},
        {"swapped GIF",                 gifWithIcc(picture_, swapped),    gif, swapped, {}},
        // Stored inks of (R, G, B, no black) decode plainly to R, G, B: swapped, they are the
        // stored bytes again.
        {"CMYK JPEG, table profile",    withIcc(cmyk, cmykTable),         cmyk, cmykTable, wide_,
                                        TYPE_CMYK_8_REV},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage plain = decoded(c.untagged);
        const QImage expected = converted(c.format == TYPE_CMYK_8_REV ? plain.rgbSwapped() : plain,
                                          c.source, c.display, c.format);
        EXPECT_LE(largestDifference(decoded(c.tagged, c.display), expected), 1);
    }
}

// What counts as sRGB, a damaged profile included (in silence), shows as decoded with no
// profile on the display or an sRGB one, and converted from sRGB on a wide one.
TEST_F(Colour, NoProfileSrgbOnBothSidesOrADamagedProfileLeavesThePixelsExactlyAsDecoded) {
    QByteArray oneOfTwo = withIcc(jpeg_, proPhoto_, 12000);
    const int second = int(oneOfTwo.indexOf("ICC_PROFILE", oneOfTwo.indexOf("ICC_PROFILE") + 1));
    oneOfTwo[second + 12] = 1; // two chunks, both numbered 1
    QByteArray pastTheEnd = bmpWithIcc(picture_, proPhoto_);
    qToLittleEndian<quint32>(1u << 20, pastTheEnd.data() + 14 + 112);
    QByteArray garbled = proPhoto_;
    garbled.replace(128, 64, QByteArray(64, '\xEE')); // the tag table
    const QByteArray huge = proPhoto_ + QByteArray(ColourProfile::kMaxBytes, '\0');
    const QByteArray bmp = test::encodedPicture(picture_, "BMP");
    const QByteArray gif = demo::encodeGif(picture_);
    EXPECT_EQ(decoded(bmp), picture_); // a bitmap: the pixels as written, bit for bit
    const struct {
        const char* name;
        QByteArray picture;
        QByteArray untagged;
        QByteArray display = {}; // when given, the picture's own profile or sRGB: not converted
    } cases[] = {
        {"untagged, sRGB display", jpeg_, jpeg_, srgb_},
        {"sRGB-tagged", withIcc(jpeg_, srgb_), jpeg_},
        {"sRGB-tagged, another sRGB display", withIcc(jpeg_, srgb_), jpeg_,
         profileFile("colord/sRGB.icc")},
        {"the display's own profile", withIcc(jpeg_, proPhoto_), jpeg_, proPhoto_},
        {"Exif index other than Adobe RGB", withExifIndex(jpeg_, "R98"), jpeg_},
        {"cut in half", withIcc(jpeg_, proPhoto_.left(proPhoto_.size() / 2)), jpeg_},
        {"tag table overwritten", withIcc(jpeg_, garbled), jpeg_},
        {"no profile at all", withIcc(jpeg_, QByteArray(3000, 'x')), jpeg_},
        {"over the size limit", withIcc(jpeg_, huge, 65000), jpeg_},
        {"a chunk twice, one missing", oneOfTwo, jpeg_},
        {"grey profile, RGB picture", withIcc(jpeg_, profileFile("Gray.icc")), jpeg_},
        {"bitmap", bmpWithIcc(picture_, QByteArray("not a profile")), bmp},
        {"bitmap, profile past the end", pastTheEnd, bmp},
        {"GIF, cut short", gifWithIcc(picture_, proPhoto_.left(200)), gif},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage plain = decoded(c.untagged);
        QImage shown;
        EXPECT_EQ(test::printedDuring([&] { shown = decoded(c.picture, c.display); }), "");
        EXPECT_EQ(shown, plain);
        if (c.display.isEmpty()) {
            EXPECT_LE(largestDifference(decoded(c.picture, wide_), converted(plain, {}, wide_)), 1);
        }
    }
}

TEST(ColourTransforms, AreKeptPerProfilePairAndKnowSrgbByItsColours) {
    const auto bytes = profileFile;
    const struct {
        const char* profile;
        bool srgb;
    } cases[] = {{"sRGB.icc", true},
                 {"colord/sRGB.icc", true},
                 {"colord/Rec709.icc", false}, // sRGB's primaries, another curve
                 {"colord/AdobeRGB1998.icc", false},
                 {"Gray.icc", false}};
    for (const auto& c : cases)
        EXPECT_EQ(ColourTransform::isSrgb(bytes(c.profile)), c.srgb) << c.profile;
    const ColourProfile proPhoto{bytes("colord/ProPhotoRGB.icc"), ColourModel::Rgb};
    const auto first = ColourTransform::between(proPhoto, {});
    ASSERT_TRUE(first);
    EXPECT_EQ(ColourTransform::between(proPhoto, {}), first);
    EXPECT_NE(ColourTransform::between(proPhoto, bytes("colord/WideGamutRGB.icc")), first);
}

// Every colour of a grid that holds each of the darkest levels (where an output curve is
// steepest) and every third one above; the alpha byte differs from pixel to pixel.
QImage colourGrid() {
    std::vector<int> levels;
    for (int level = 0; level < 256; level += level < 16 ? 1 : 3)
        levels.push_back(level);
    const int count = int(levels.size() * levels.size() * levels.size());
    QImage grid(1024, (count + 1023) / 1024, QImage::Format_ARGB32);
    auto* pixel = reinterpret_cast<QRgb*>(grid.bits());
    for (int i = 0; i < grid.width() * grid.height(); ++i) {
        const int colour = i % count, n = int(levels.size());
        pixel[i] = qRgba(levels[colour % n], levels[colour / n % n], levels[colour / n / n], i);
    }
    return grid;
}

TEST(ColourTransforms, MatrixShaperPairsRunOverRowsAndGiveLittleCmsOwnPixels) {
    const auto bytes = profileFile;
    const Curve srgbCurve{cmsBuildParametricToneCurve(
        nullptr, 4, std::array{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}.data())};
    const Curve gamma{cmsBuildGamma(nullptr, 1.8)};
    // A calibrated panel: measured primaries and a curve of 256 points for each channel, as
    // calibration tools write them.
    std::vector<Curve> measured;
    for (const double gamma : {2.1, 2.2, 2.3}) {
        std::array<cmsUInt16Number, 256> points;
        for (int i = 0; i < 256; ++i)
            points[i] = cmsUInt16Number(65535 * std::pow(i / 255.0, gamma + i / 2550.0));
        measured.emplace_back(cmsBuildTabulatedToneCurve16(nullptr, 256, points.data()));
    }
    const QByteArray panel =
        rgbProfile({{0.655, 0.335, 1.0}, {0.285, 0.615, 1.0}, {0.152, 0.058, 1.0}},
                   measured[0].get(), measured[1].get(), measured[2].get());
    const QByteArray displayP3 = rgbProfile(
        {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}, srgbCurve.get());
    const QByteArray proPhoto = bytes("colord/ProPhotoRGB.icc"),
                     wide = bytes("colord/WideGamutRGB.icc");
    const struct {
        const char* name;
        QByteArray source;
        QByteArray display;
        ColourPath path;
        ColourModel model = ColourModel::Rgb;
        cmsUInt32Number format = TYPE_BGRA_8;
    } cases[] = {
        {"ProPhoto (v4) to sRGB", proPhoto, {}, ColourPath::MatrixShaperRows},
        {"Adobe RGB to a wide display", bytes("colord/AdobeRGB1998.icc"), wide,
         ColourPath::MatrixShaperRows},
        {"Display P3 to a calibrated panel", displayP3, panel, ColourPath::MatrixShaperRows},
        {"sRGB (v2) to ProPhoto", bytes("sRGB.icc"), proPhoto, ColourPath::MatrixShaperRows},
        {"Adobe RGB compatible (v2) to P3", bytes("compatibleWithAdobeRGB1998.icc"), displayP3,
         ColourPath::MatrixShaperRows},
        {"red and green swapped",
         bytes("colord/SwappedRedAndGreen.icc"),
         {},
         ColourPath::MatrixShaperRows},
        // The same primaries on both sides: Little CMS joins the curves into one table.
        {"sRGB primaries, another curve", rgbProfile(kSrgbPrimaries, gamma.get()),
         rgbProfile(kSrgbPrimaries, srgbCurve.get()), ColourPath::LittleCms},
        {"table profile", tableProfile(cmsSigRgbData, 4.3), {}, ColourPath::LittleCms},
        {"grey", bytes("Gray.icc"), wide, ColourPath::LittleCms, ColourModel::Grey,
         TYPE_GRAY_8 | EXTRA_SH(3)},
        {"CMYK", tableProfile(cmsSigCmykData, 4.3), wide, ColourPath::LittleCms, ColourModel::Cmyk,
         TYPE_CMYK_8_REV},
    };
    const QImage grid = colourGrid();
    ASSERT_GE(grid.height(), 512) << "tall enough to be shared out between two threads";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto transform = ColourTransform::between({c.source, c.model}, c.display);
        ASSERT_TRUE(transform);
        EXPECT_EQ(transform->path(), c.path);
        QImage shown = grid;
        transform->apply(shown);
        QImage expected = converted(grid, c.source, c.display, c.format);
        if (c.model == ColourModel::Cmyk) { // the stored black is no colour of the result
            shown.reinterpretAsFormat(QImage::Format_RGB32);
            expected.reinterpretAsFormat(QImage::Format_RGB32);
        }
        EXPECT_TRUE(shown == expected)
            << "largest difference " << largestDifference(shown, expected);
    }
}

} // namespace
} // namespace orlix
