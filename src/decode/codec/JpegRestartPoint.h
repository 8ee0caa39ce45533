#pragma once

#include "decode/codec/JpegBand.h"

#include <functional>

namespace orlix {

namespace platform {
class PictureFile;
}

// Finds where a decoder may start a picture's rows below the top: just after the restart
// marker that begins a given iMCU row. libjpeg cannot seek in entropy-coded data, and no
// library indexes restart markers, so the data is scanned here: markers are the FF bytes not
// followed by a stuffed 00 or another FF.
class JpegRestartPoint {
public:
    enum class Found {
        Yes,        // `splice` says how to resume there
        No,         // no such marker in order, or a header not walked plainly: pass over instead
        Stopped,    // `stop` said so
        ReadFailed, // the file could not be read
    };

    // Looks in `file`, whose header the upper band read as `geometry` (a single Huffman scan
    // with restart markers), for the marker just before iMCU row `iMcuRow`, every marker before
    // it in order and nothing else in the data up to it. `stop` is asked before every read.
    static Found locate(const platform::PictureFile& file, const JpegGeometry& geometry,
                        unsigned iMcuRow, const std::function<bool()>& stop, JpegSplice& splice);

    // Whether a restart marker starts iMCU row `iMcuRow` of a picture laid out as `geometry`.
    static bool startsRow(const JpegGeometry& geometry, unsigned iMcuRow);
};

} // namespace orlix
