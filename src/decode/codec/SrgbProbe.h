#pragma once

#include <lcms2.h>

namespace orlix {

// Whether a profile is sRGB as far as 8-bit pixels can tell: Little CMS maps colours through
// it to its own sRGB unchanged, within two 8-bit levels. The sRGB profiles in circulation
// differ from Little CMS's own by up to 1.4 levels at full green (their primaries are rounded
// and adapted differently); the next space along, Rec. 709 with its own curve, is 16 levels
// away.
bool describesSrgb(cmsHPROFILE profile);

} // namespace orlix
