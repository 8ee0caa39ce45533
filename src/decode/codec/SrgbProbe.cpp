#include "decode/codec/SrgbProbe.h"

#include "decode/codec/IccProfileHandle.h"
#include "decode/codec/LittleCmsContext.h"

#include <cstdlib>

namespace orlix {

namespace {

// How far, in 16-bit units, a profile may map colours away from Little CMS's sRGB.
constexpr int kSrgbTolerance = 2 * 257;
constexpr int kSrgbProbeLevels[] = {0, 16, 48, 96, 128, 160, 208, 240, 255};

} // namespace

bool describesSrgb(cmsHPROFILE profile) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData)
        return false;
    const IccProfileHandle reference = IccProfileHandle::srgb();
    cmsHTRANSFORM toReference =
        cmsCreateTransformTHR(littleCmsContext(), profile, TYPE_RGB_16, reference.get(),
                              TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
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

} // namespace orlix
