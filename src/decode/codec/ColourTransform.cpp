#include "decode/codec/ColourTransform.h"

#include "decode/codec/ColourTransformCache.h"
#include "decode/codec/IccProfileHandle.h"
#include "decode/codec/LittleCmsContext.h"
#include "decode/codec/MatrixShaperRows.h"
#include "decode/codec/Rgb32Formats.h"
#include "decode/codec/SrgbProbe.h"
#include "platform/sandbox/CurrentThread.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace orlix {

namespace {

// Below this many rows a picture is converted in one piece: a second thread would not pay.
constexpr int kRowsToSplit = 512;
// Rows are shared out between the two threads in runs of this many, taken as each thread comes
// for more: on a busy machine one thread may get far less time than the other.
constexpr int kRowsPerRun = 32;
constexpr QRgb kOpaque = 0xFF000000;

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

ColourTransformCache& cache() {
    static ColourTransformCache instance;
    return instance;
}

} // namespace

ColourTransform::ColourTransform(void* transform, ColourModel input)
    : transform_(transform), input_(input),
      path_(MatrixShaperRows::runs(static_cast<cmsHTRANSFORM>(transform))
                ? ColourPath::MatrixShaperRows
                : ColourPath::LittleCms) {}

ColourTransform::~ColourTransform() {
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform_));
}

bool ColourTransform::isSrgb(const QByteArray& icc) {
    const IccProfileHandle profile = IccProfileHandle::fromIcc(icc);
    return profile && describesSrgb(profile.get());
}

std::shared_ptr<const ColourTransform> ColourTransform::between(const ColourProfile& source,
                                                                const QByteArray& display) {
    // The plain case, no profile on either side, never reaches the cache or Little CMS.
    if (source.icc.isEmpty() && display.isEmpty())
        return nullptr;
    return cache().find(source, display, [&] { return make(source, display); });
}

std::shared_ptr<const ColourTransform> ColourTransform::make(const ColourProfile& source,
                                                             const QByteArray& display) {
    const IccProfileHandle from = IccProfileHandle::fromIcc(source.icc, spaceOf(source.model));
    const IccProfileHandle to = IccProfileHandle::fromIcc(display, cmsSigRgbData);
    // Not the picture's own model: the decoder gives its plain RGB, taken as sRGB.
    const ColourModel input = from ? source.model : ColourModel::Rgb;
    if (from && to && source.icc == display)
        return nullptr;
    const bool fromSrgb = !from || describesSrgb(from.get());
    const bool toSrgb = !to || describesSrgb(to.get());
    if (fromSrgb && toSrgb)
        return nullptr;
    const IccProfileHandle reference = IccProfileHandle::srgb();
    cmsHPROFILE fromHandle = from ? from.get() : reference.get();
    cmsHPROFILE toHandle = to ? to.get() : reference.get();
    const cmsUInt32Number inputFormat = formatOf(input);
    cmsHTRANSFORM transform =
        cmsCreateTransformTHR(littleCmsContext(), fromHandle, inputFormat, toHandle, kRgb32,
                              INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!transform && to && !toSrgb) {
        // A display profile that cannot take colours in (an input-only table): the display
        // counts as sRGB.
        toHandle = reference.get();
        if (!fromSrgb)
            transform = cmsCreateTransformTHR(littleCmsContext(), fromHandle, inputFormat, toHandle,
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

void ColourTransform::applyToRow(QRgb* row, int width) const {
    if (width <= 0)
        return;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform_), row, row,
                   static_cast<cmsUInt32Number>(width));
    if (input_ == ColourModel::Cmyk) {
        for (int x = 0; x < width; ++x)
            row[x] |= kOpaque;
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
