#pragma once

namespace orlix {

struct JpegGeometry;

// Where a picture decoded in two bands is split, so that both finish together. The upper band
// decodes iMCU rows [0, split). The lower band's decoder starts at iMCU row `resume`: at the
// top, or just after a restart marker. From there it passes over the rows down to the split,
// which costs their entropy decoding, then decodes the rest. Resuming one row above the split
// gives smooth chroma upsampling the row above, so the rows come out as one decoder makes them.
//
// Cost model, per iMCU row: decoding one costs 1, passing over one costs e, from the entropy
// share of decoding (measured at each scale with libjpeg-turbo on a 4:2:0 photo). The
// upper band finishes at split; the lower one at (split - resume) e + (rows - split). Every
// resume row the file allows is weighed, and the earliest finish taken.
struct JpegBandPlan {
    unsigned split = 0;  // iMCU rows; 0: one band
    unsigned resume = 0; // iMCU row; 0 or a row that a restart marker begins

    // The plan for a picture laid out as `geometry` decoded at `eighths`/8 of its size.
    static JpegBandPlan choose(const JpegGeometry& geometry, int eighths);
    // e at `eighths`/8: what passing over a row costs beside the upper band's decode.
    static double entropyShare(int eighths);
    // The finish time of the later band, in iMCU rows decoded.
    double finish(unsigned rows, int eighths) const;
};

} // namespace orlix
