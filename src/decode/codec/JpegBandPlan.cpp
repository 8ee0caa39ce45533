#include "decode/codec/JpegBandPlan.h"

#include "decode/codec/JpegBand.h"
#include "decode/codec/JpegRestartPoint.h"

#include <algorithm>
#include <cmath>

namespace orlix {

namespace {

// The time to pass over every row of a 6000 x 4000 4:2:0 photo (jpeg_skip_scanlines) as a share
// of the time to decode it into a new picture, at each scale decoded at (in eighths), as
// decode_bench measures it (BM_EntropyShare). At 8/8 and 5/8 writing the picture's memory
// weighs in; 5/8's transform costs more than the whole one.
struct EntropyShare {
    int eighths;
    double share;
};
constexpr EntropyShare kEntropyShares[] = {{8, 0.40}, {5, 0.42}, {4, 0.73},
                                           {3, 0.72}, {2, 0.80}, {1, 0.88}};

// Passing over rows beside the upper band's decode costs less than that share alone: with the
// shares as measured, the split where both bands finish together lies too low at every scale.
// With this factor the split decodes a photo without restart markers faster than halves at every
// scale but 1/8, where it is as fast (decode_bench, BM_SplitGain).
constexpr double kBesideUpperBand = 0.85;

} // namespace

double JpegBandPlan::entropyShare(int eighths) {
    for (const EntropyShare& known : kEntropyShares) {
        if (known.eighths == eighths)
            return known.share * kBesideUpperBand;
    }
    return kEntropyShares[0].share * kBesideUpperBand;
}

double JpegBandPlan::finish(unsigned rows, int eighths) const {
    const double share = entropyShare(eighths);
    const double upper = split;
    const double lower = (split - resume) * share + (rows - split);
    return std::max(upper, lower);
}

JpegBandPlan JpegBandPlan::choose(const JpegGeometry& geometry, int eighths) {
    const unsigned rows = geometry.iMcuRows();
    JpegBandPlan best;
    if (rows < 2)
        return best;
    const double share = entropyShare(eighths);
    double bestFinish = rows; // one band
    const bool resumable =
        geometry.restartInterval > 0 && !geometry.multipleScans && !geometry.arithmetic;
    for (unsigned resume = 0; resume + 1 < rows; ++resume) {
        if (resume > 0 && (!resumable || !JpegRestartPoint::startsRow(geometry, resume)))
            continue;
        // Where both bands would finish together: split = (split - resume) e + rows - split.
        const double even = (rows - resume * share) / (2 - share);
        for (const double rounded : {std::floor(even), std::ceil(even)}) {
            const auto split =
                static_cast<unsigned>(std::clamp(rounded, double(resume + 1), double(rows - 1)));
            const JpegBandPlan plan{split, resume};
            // Ties keep the earlier candidate: the top needs no marker search.
            if (const double finish = plan.finish(rows, eighths); finish < bestFinish) {
                best = plan;
                bestFinish = finish;
            }
        }
    }
    return best;
}

} // namespace orlix
