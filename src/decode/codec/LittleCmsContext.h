#pragma once

#include <lcms2.h>

namespace orlix {

// The program's one Little CMS context: it logs nothing (a damaged profile is ignored in
// silence) and runs transforms between two matrix-shaper RGB profiles over whole rows
// (MatrixShaperRows.h). Made on first use; safe to use from any thread.
cmsContext littleCmsContext();

} // namespace orlix
