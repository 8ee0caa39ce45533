#include "decode/codec/MatrixShaperRows.h"

#include "decode/codec/Rgb32Formats.h"

#include <QRgb>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>

namespace orlix {

namespace {

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

} // namespace

cmsPluginTransform& MatrixShaperRows::plugin() {
    static cmsPluginTransform matrixShaperRows = [] {
        cmsPluginTransform made{
            {cmsPluginMagicNumber, kLineTransformPluginVersion, cmsPluginTransformSig, nullptr},
            {nullptr}};
        made.factories.xform = takeMatrixShaperLink;
        return made;
    }();
    return matrixShaperRows;
}

bool MatrixShaperRows::runs(cmsHTRANSFORM transform) {
    // Only this plugin gives a transform data of its own.
    return _cmsGetTransformUserData(static_cast<_cmstransform_struct*>(transform)) != nullptr;
}

} // namespace orlix
