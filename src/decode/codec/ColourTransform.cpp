#include "decode/codec/ColourTransform.h"

#include "platform/sandbox/CurrentThread.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <lcms2_plugin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>

namespace orlix {

namespace {

// Pairs of profiles kept: a show meets few, and each transform may hold a sizeable table.
constexpr std::size_t kCachedPairs = 16;
// Below this many rows a picture is converted in one piece: a second thread would not pay.
constexpr int kRowsToSplit = 512;
// Rows are shared out between the two threads in runs of this many, taken as each thread comes
// for more: on a busy machine one thread may get far less time than the other.
constexpr int kRowsPerRun = 32;
// How far, in 16-bit units, a profile may map colours away from Little CMS's sRGB and still be
// sRGB: two 8-bit levels. The sRGB profiles in circulation differ from Little CMS's own by up
// to 1.4 levels at full green (their primaries are rounded and adapted differently); the next
// space along, Rec. 709 with its own curve, is 16 levels away.
constexpr int kSrgbTolerance = 2 * 257;
constexpr int kSrgbProbeLevels[] = {0, 16, 48, 96, 128, 160, 208, 240, 255};

// The pixel layouts of QImage::Format_RGB32 in memory, the unused byte last or first.
constexpr cmsUInt32Number kRgb32 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
// A grey picture decoded into RGB32: the one channel, three copies of it passed over.
constexpr cmsUInt32Number kGreyInRgb32 = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) |
                                         EXTRA_SH(3) |
                                         (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0 : SWAPFIRST_SH(1));
// Adobe's CMYK JPEGs store 255 for no ink.
constexpr cmsUInt32Number kAdobeCmyk = TYPE_CMYK_8_REV;
constexpr QRgb kOpaque = 0xFF000000;
// An ICC profile's header, which starts with the profile's size.
constexpr qsizetype kIccHeaderSize = 128;

// Little CMS takes its own 8-bit matrix-shaper path (OptimizeMatrixShaper) between two RGB
// matrix-shaper profiles: 1.14 fixed point through a first shaper table, one matrix and a second
// shaper table. But it runs that path a pixel at a time through three calls (unpack the bytes to
// 16 bits, evaluate, pack them back), about half of its time spent around the arithmetic, and
// no faster 8-bit path ships with Debian's Little CMS. So a transform plugin takes exactly the
// links that path would take, builds the same numbers from the link Little CMS made (the matrix
// folded into the first tables), and runs them over whole rows of RGB32 words: the pixels
// Little CMS would give, bit for bit, in a fifth of its time. Every other link (tables, grey,
// CMYK, curves alone) is left to Little CMS.
constexpr int kFixed14One = 1 << 14;
// A first shaper value this large is stored as the largest there is, as Little CMS does.
constexpr double kFirstShaperLimit = 131072.0;
// Matrix entries are refused beyond this: their 1.14 form would not fit 32 bits.
constexpr double kMatrixLimit = 65536.0;
// The plugin interface with line strides, which came with Little CMS 2.8.
constexpr cmsUInt32Number kLineTransformPluginVersion = 2080;

// Four 32-bit lanes: a pixel's three channel sums at once, the fourth unused.
using Lanes = std::uint32_t __attribute__((vector_size(16)));
using SignedLanes = std::int32_t __attribute__((vector_size(16)));

std::int32_t toFixed14(double value) {
    return static_cast<std::int32_t>(std::floor(value * kFixed14One + 0.5));
}

// A level from 0 to 1 as Little CMS's 8-bit output takes it: rounded to 16 bits (its floor seen
// at 1/65536 precision), then to 8.
std::uint8_t eightBitsOf(double level) {
    const double scaled = level * 65535.0 + 0.5;
    const std::uint32_t word =
        scaled <= 0 ? 0
        : scaled >= 65535.0
            ? 65535
            : static_cast<std::uint32_t>(std::floor(std::nearbyint(scaled * 65536.0) / 65536.0));
    return static_cast<std::uint8_t>((word * 65281u + 8388608u) >> 24);
}

struct MatrixShaper {
    // Each input level through its curve (1.14) times its channel's column of the matrix: the
    // three terms of a pixel's sums, looked up rather than multiplied. Red's carry the offset,
    // with half of the last bit for rounding. The sums wrap in 32 bits as Little CMS's do.
    Lanes terms[3][256];
    std::uint8_t second[3][kFixed14One + 1]; // each 1.14 level through its curve, 8 bits
    // The second tables in use: channels whose curves are alike share one, which leaves more of
    // the nearest cache to the rest.
    const std::uint8_t* secondOf[3] = {second[0], second[1], second[2]};

    MatrixShaper() = default;
    MatrixShaper(const MatrixShaper&) = delete; // secondOf points into this very object
    MatrixShaper& operator=(const MatrixShaper&) = delete;

    // `pixel` converted; its top byte, alpha or unused, stays as it is.
    QRgb converted(QRgb pixel) const {
        const Lanes sums = terms[0][qRed(pixel)] + terms[1][qGreen(pixel)] + terms[2][qBlue(pixel)];
        SignedLanes levels = __builtin_convertvector(sums, SignedLanes) >> 14;
        levels = levels < 0 ? 0 : levels;
        levels = levels > kFixed14One ? kFixed14One : levels;
        return (pixel & 0xFF000000u) | QRgb(secondOf[0][levels[0]]) << 16 |
               QRgb(secondOf[1][levels[1]]) << 8 | QRgb(secondOf[2][levels[2]]);
    }

    // Fills the tables as Little CMS's matrix-shaper path does; false for a link whose numbers
    // that path could not hold (it would overflow), which is then left to Little CMS.
    bool build(const cmsMAT3& matrix, const double* offsets, cmsToneCurve* const* in,
               cmsToneCurve* const* out) {
        Lanes columns[3], offset;
        for (int row = 0; row < 3; ++row) {
            const double offsetValue = offsets ? offsets[row] : 0.0;
            if (!(std::abs(offsetValue) < kMatrixLimit))
                return false;
            offset[row] = std::uint32_t(toFixed14(offsetValue)) + kFixed14One / 2;
            for (int column = 0; column < 3; ++column) {
                const double value = matrix.v[row].n[column];
                if (!(std::abs(value) < kMatrixLimit))
                    return false;
                columns[column][row] = std::uint32_t(toFixed14(value));
            }
        }
        offset[3] = columns[0][3] = columns[1][3] = columns[2][3] = 0;
        for (int channel = 0; channel < 3; ++channel) {
            for (int level = 0; level < 256; ++level) {
                const float value =
                    cmsEvalToneCurveFloat(in[channel], static_cast<float>(level / 255.0));
                if (!(value > -kFirstShaperLimit))
                    return false;
                const std::int32_t shaped =
                    value < kFirstShaperLimit ? toFixed14(value) : INT32_MAX;
                terms[channel][level] =
                    columns[channel] * std::uint32_t(shaped) + (channel == 0 ? offset : Lanes{});
            }
            for (int level = 0; level <= kFixed14One; ++level) {
                const float value = cmsEvalToneCurveFloat(
                    out[channel], static_cast<float>(level / double(kFixed14One)));
                if (std::isnan(value))
                    return false;
                second[channel][level] = eightBitsOf(std::clamp(value, 0.0f, 1.0f));
            }
        }
        for (int channel = 1; channel < 3; ++channel)
            for (int earlier = 0; earlier < channel; ++earlier)
                if (std::equal(std::begin(second[channel]), std::end(second[channel]),
                               secondOf[earlier]))
                    secondOf[channel] = secondOf[earlier];
        return true;
    }
};

void convertMatrixShaperRows(_cmstransform_struct* transform, const void* in, void* out,
                             cmsUInt32Number width, cmsUInt32Number rows, const cmsStride* stride) {
    const auto& shaper = *static_cast<const MatrixShaper*>(_cmsGetTransformUserData(transform));
    for (cmsUInt32Number y = 0; y < rows; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(static_cast<const uchar*>(in) +
                                                         qsizetype(y) * stride->BytesPerLineIn);
        auto* to = reinterpret_cast<QRgb*>(static_cast<uchar*>(out) +
                                           qsizetype(y) * stride->BytesPerLineOut);
        for (cmsUInt32Number x = 0; x < width; ++x)
            to[x] = shaper.converted(from[x]);
    }
}

// Takes a link of RGB32 to RGB32 that Little CMS would run through its matrix-shaper path:
// curves, a matrix with no offset, a matrix, curves, the two matrices not cancelling out (that
// link it reduces to curves alone).
cmsBool takeMatrixShaperLink(_cmsTransform2Fn* transform, void** data, _cmsFreeUserDataFn* freeData,
                             cmsPipeline** link, cmsUInt32Number* input, cmsUInt32Number* output,
                             cmsUInt32Number* flags) {
    if (*input != kRgb32 || *output != kRgb32 ||
        (*flags & (cmsFLAGS_NULLTRANSFORM | cmsFLAGS_GAMUTCHECK)))
        return FALSE;
    cmsStage *inCurves = nullptr, *toPcs = nullptr, *fromPcs = nullptr, *outCurves = nullptr;
    if (!cmsPipelineCheckAndRetreiveStages(*link, 4, cmsSigCurveSetElemType, cmsSigMatrixElemType,
                                           cmsSigMatrixElemType, cmsSigCurveSetElemType, &inCurves,
                                           &toPcs, &fromPcs, &outCurves) ||
        cmsPipelineInputChannels(*link) != 3 || cmsPipelineOutputChannels(*link) != 3)
        return FALSE;
    const auto* first = static_cast<const _cmsStageMatrixData*>(cmsStageData(toPcs));
    const auto* second = static_cast<const _cmsStageMatrixData*>(cmsStageData(fromPcs));
    if (first->Offset)
        return FALSE;
    cmsMAT3 product;
    _cmsMAT3per(&product, reinterpret_cast<const cmsMAT3*>(second->Double),
                reinterpret_cast<const cmsMAT3*>(first->Double));
    if (!second->Offset && _cmsMAT3isIdentity(&product))
        return FALSE;
    auto shaper = std::make_unique<MatrixShaper>();
    if (!shaper->build(product, second->Offset,
                       static_cast<_cmsStageToneCurvesData*>(cmsStageData(inCurves))->TheCurves,
                       static_cast<_cmsStageToneCurvesData*>(cmsStageData(outCurves))->TheCurves))
        return FALSE;
    *transform = convertMatrixShaperRows;
    *data = shaper.release();
    *freeData = [](cmsContext, void* held) { delete static_cast<MatrixShaper*>(held); };
    return TRUE;
}

// One context for the whole program, with the plugin above and a log handler that drops every
// message: a damaged profile is ignored in silence.
cmsContext quietContext() {
    static const cmsContext context = [] {
        static cmsPluginTransform matrixShaperRows{
            {cmsPluginMagicNumber, kLineTransformPluginVersion, cmsPluginTransformSig, nullptr},
            {nullptr}};
        matrixShaperRows.factories.xform = takeMatrixShaperLink;
        cmsContext created = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(created, [](cmsContext, cmsUInt32Number, const char*) {});
        // Without the plugin every link takes Little CMS's own path: slower, the same pixels.
        cmsPluginTHR(created, &matrixShaperRows);
        return created;
    }();
    return context;
}

// An lcms profile handle that closes itself.
struct Profile {
    cmsHPROFILE handle = nullptr;
    explicit Profile(cmsHPROFILE opened) : handle(opened) {}
    ~Profile() {
        if (handle)
            cmsCloseProfile(handle);
    }
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
    explicit operator bool() const { return handle != nullptr; }
};

cmsHPROFILE opened(const QByteArray& icc) {
    if (icc.size() < kIccHeaderSize || icc.size() > ColourProfile::kMaxBytes)
        return nullptr;
    // A profile cut short: Little CMS would take one whose tags happen to lie in the part
    // that is there.
    if (qFromBigEndian<quint32>(icc.constData()) > quint32(icc.size()))
        return nullptr;
    return cmsOpenProfileFromMemTHR(quietContext(), icc.constData(),
                                    static_cast<cmsUInt32Number>(icc.size()));
}

// `icc` opened when it describes colours of `space`; null otherwise.
cmsHPROFILE openedAs(const QByteArray& icc, cmsColorSpaceSignature space) {
    cmsHPROFILE profile = opened(icc);
    if (profile && cmsGetColorSpace(profile) != space) {
        cmsCloseProfile(profile);
        return nullptr;
    }
    return profile;
}

cmsHPROFILE srgb() {
    return cmsCreate_sRGBProfileTHR(quietContext());
}

cmsColorSpaceSignature spaceOf(ColourModel model) {
    switch (model) {
    case ColourModel::Grey:
        return cmsSigGrayData;
    case ColourModel::Cmyk:
        return cmsSigCmykData;
    case ColourModel::Rgb:
        break;
    }
    return cmsSigRgbData;
}

cmsUInt32Number formatOf(ColourModel model) {
    switch (model) {
    case ColourModel::Grey:
        return kGreyInRgb32;
    case ColourModel::Cmyk:
        return kAdobeCmyk;
    case ColourModel::Rgb:
        break;
    }
    return kRgb32;
}

bool profileIsSrgb(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData)
        return false;
    const Profile reference(srgb());
    cmsHTRANSFORM toReference =
        cmsCreateTransformTHR(quietContext(), profile, TYPE_RGB_16, reference.handle, TYPE_RGB_16,
                              INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!toReference)
        return false;
    bool same = true;
    for (const int r : kSrgbProbeLevels) {
        for (const int g : kSrgbProbeLevels) {
            for (const int b : kSrgbProbeLevels) {
                const cmsUInt16Number in[3] = {cmsUInt16Number(r * 257), cmsUInt16Number(g * 257),
                                               cmsUInt16Number(b * 257)};
                cmsUInt16Number out[3] = {};
                cmsDoTransform(toReference, in, out, 1);
                for (int c = 0; c < 3; ++c)
                    same = same && std::abs(int(out[c]) - int(in[c])) <= kSrgbTolerance;
            }
        }
    }
    cmsDeleteTransform(toReference);
    return same;
}

// A cache key: the two profiles' digests and the picture's model.
using Key = std::tuple<QByteArray, QByteArray, ColourModel>;

QByteArray digest(const QByteArray& icc) {
    return icc.isEmpty() ? QByteArray() : QCryptographicHash::hash(icc, QCryptographicHash::Md5);
}

struct Cache {
    std::mutex mutex;
    std::map<Key, std::shared_ptr<const ColourTransform>> entries;
    std::deque<Key> order; // oldest first
};

Cache& cache() {
    static Cache instance;
    return instance;
}

} // namespace

ColourTransform::ColourTransform(void* transform, ColourModel input)
    : transform_(transform), input_(input),
      // Only the plugin gives a transform data of its own.
      path_(_cmsGetTransformUserData(static_cast<_cmstransform_struct*>(transform))
                ? ColourPath::MatrixShaperRows
                : ColourPath::LittleCms) {}

ColourTransform::~ColourTransform() {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

bool ColourTransform::isSrgb(const QByteArray& icc) {
    const Profile profile(opened(icc));
    return profile && profileIsSrgb(profile.handle);
}

std::shared_ptr<const ColourTransform> ColourTransform::between(const ColourProfile& source,
                                                                const QByteArray& display) {
    // The plain case, no profile on either side, never reaches the cache or Little CMS.
    if (source.icc.isEmpty() && display.isEmpty())
        return nullptr;
    const Key key{digest(source.icc), digest(display), source.model};
    Cache& shared = cache();
    {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        const auto found = shared.entries.find(key);
        if (found != shared.entries.end())
            return found->second;
    }
    // Made outside the lock: a table profile takes a while, and another thread may want a
    // transform that is there already.
    std::shared_ptr<const ColourTransform> made = make(source, display);
    const std::lock_guard<std::mutex> lock(shared.mutex);
    const auto [entry, added] = shared.entries.emplace(key, std::move(made));
    if (added) {
        shared.order.push_back(key);
        if (shared.order.size() > kCachedPairs) {
            shared.entries.erase(shared.order.front());
            shared.order.pop_front();
        }
    }
    return entry->second;
}

std::shared_ptr<const ColourTransform> ColourTransform::make(const ColourProfile& source,
                                                             const QByteArray& display) {
    const Profile from(openedAs(source.icc, spaceOf(source.model)));
    const Profile to(openedAs(display, cmsSigRgbData));
    // Not the picture's own model: the decoder gives its plain RGB, taken as sRGB.
    const ColourModel input = from ? source.model : ColourModel::Rgb;
    if (from && to && source.icc == display)
        return nullptr;
    const bool fromSrgb = !from || profileIsSrgb(from.handle);
    const bool toSrgb = !to || profileIsSrgb(to.handle);
    if (fromSrgb && toSrgb)
        return nullptr;
    const Profile reference(srgb());
    cmsHPROFILE fromHandle = from ? from.handle : reference.handle;
    cmsHPROFILE toHandle = to ? to.handle : reference.handle;
    const cmsUInt32Number inputFormat = formatOf(input);
    cmsHTRANSFORM transform =
        cmsCreateTransformTHR(quietContext(), fromHandle, inputFormat, toHandle, kRgb32,
                              INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!transform && to && !toSrgb) {
        // A display profile that cannot take colours in (an input-only table): the display
        // counts as sRGB.
        toHandle = reference.handle;
        if (!fromSrgb)
            transform = cmsCreateTransformTHR(quietContext(), fromHandle, inputFormat, toHandle,
                                              kRgb32, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    }
    if (!transform)
        return nullptr;
    return std::shared_ptr<const ColourTransform>(new ColourTransform(transform, input));
}

void ColourTransform::convertRows(QImage& image, int from, int to) const {
    if (to <= from)
        return;
    // Rows are taken through constBits(): a QImage may not be detached from two threads.
    auto* first = const_cast<uchar*>(image.constBits()) + qsizetype(from) * image.bytesPerLine();
    const auto stride = static_cast<cmsUInt32Number>(image.bytesPerLine());
    cmsDoTransformLineStride(static_cast<cmsHTRANSFORM>(transform_), first, first,
                             static_cast<cmsUInt32Number>(image.width()),
                             static_cast<cmsUInt32Number>(to - from), stride, stride, 0, 0);
    if (input_ == ColourModel::Cmyk) {
        // The black channel was in the byte RGB32 keeps unused; Qt wants it 0xFF.
        for (int y = from; y < to; ++y) {
            auto* pixel = reinterpret_cast<QRgb*>(first + qsizetype(y - from) * stride);
            for (int x = 0; x < image.width(); ++x)
                pixel[x] |= kOpaque;
        }
    }
}

void ColourTransform::convertRuns(QImage& image, std::atomic<int>& nextRow) const {
    const int height = image.height();
    for (int from = nextRow.fetch_add(kRowsPerRun); from < height;
         from = nextRow.fetch_add(kRowsPerRun))
        convertRows(image, from, std::min(from + kRowsPerRun, height));
}

void ColourTransform::apply(QImage& image) const {
    // ARGB32 has the same layout; its alpha byte is left as it is.
    if (image.isNull() ||
        (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32))
        return;
    image.bits(); // detached here, on this thread, before the rows are shared out
    if (image.height() < kRowsToSplit) {
        convertRows(image, 0, image.height());
        return;
    }
    std::atomic<int> nextRow{0};
    std::thread helper;
    try {
        helper = std::thread([&] {
            platform::lowerCurrentThreadPriority();
            convertRuns(image, nextRow);
        });
    } catch (const std::system_error&) {
        // No thread to be had: this one takes every run.
    }
    convertRuns(image, nextRow);
    if (helper.joinable())
        helper.join();
}

} // namespace orlix
