#include "decode/ColourTransform.h"

#include "platform/CurrentThread.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <lcms2.h>

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

// One context for the whole program, with a log handler that drops every message: a damaged
// profile is ignored in silence.
cmsContext quietContext() {
    static const cmsContext context = [] {
        cmsContext created = cmsCreateContext(nullptr, nullptr);
        cmsSetLogErrorHandlerTHR(created, [](cmsContext, cmsUInt32Number, const char*) {});
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
    : transform_(transform), input_(input) {}

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

void ColourTransform::apply(QImage& image) const {
    // ARGB32 has the same layout; its alpha byte is left as it is.
    if (image.isNull() ||
        (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32))
        return;
    image.bits(); // detached here, on this thread, before the rows are shared out
    const int height = image.height();
    if (height < kRowsToSplit) {
        convertRows(image, 0, height);
        return;
    }
    const int split = height / 2;
    std::thread lower;
    try {
        lower = std::thread([&] {
            platform::lowerCurrentThreadPriority();
            convertRows(image, split, height);
        });
    } catch (const std::system_error&) {
        convertRows(image, 0, height); // no thread to be had: all of it here
        return;
    }
    convertRows(image, 0, split);
    lower.join();
}

} // namespace orlix
