#pragma once

#include <lcms2_plugin.h>

namespace orlix {

// A Little CMS transform plugin for 8-bit RGB between two matrix-shaper profiles.
//
// Little CMS takes its own 8-bit matrix-shaper path (OptimizeMatrixShaper) between two RGB
// matrix-shaper profiles: 1.14 fixed point through a first shaper table, one matrix and a second
// shaper table. But it runs that path a pixel at a time through three calls (unpack the bytes to
// 16 bits, evaluate, pack them back), and no faster 8-bit path ships with Debian's Little CMS.
// So this plugin takes exactly the links that path would take, builds the same numbers from the
// link Little CMS made (the matrix folded into the first tables), and runs them over whole rows
// of RGB32 words: the pixels Little CMS would give, bit for bit, without the calls around each
// one. Every other link (tables, grey, CMYK, curves alone) is left to Little CMS.
class MatrixShaperRows {
public:
    // The plugin, for cmsPluginTHR(); registered once, it serves every transform of its context
    // made between two RGB32 formats.
    static cmsPluginTransform& plugin();

    // Whether `transform` runs through this plugin rather than Little CMS's own path.
    static bool runs(cmsHTRANSFORM transform);
};

} // namespace orlix
