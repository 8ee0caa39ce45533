#pragma once

#include "platform/files/PictureFile.h"

#include <QByteArray>
#include <QSize>

#include <cstdint>
#include <memory>

namespace orlix::fuzz {

// Pictures larger than this are passed over by the fuzz targets although the program decodes
// them: a few bytes of header can claim hundreds of megapixels, and each such input would cost
// seconds and a gigabyte while teaching the fuzzer nothing new.
inline constexpr std::int64_t kFuzzPixelBudget = std::int64_t(1) << 20;

// `bytes` as an open picture file: written to an anonymous memory file and opened by its
// /proc/self/fd path, the way the program opens any picture.
std::shared_ptr<const platform::PictureFile> openInMemory(const QByteArray& bytes);

// The size the picture's header claims, as Qt's reader of its kind reads it (for a GIF the
// larger of the first frame and the logical screen); invalid when there is none.
QSize claimedSize(const QByteArray& bytes);

// Whether a picture claiming `size` is over the fuzz budget.
bool overFuzzBudget(QSize size);

} // namespace orlix::fuzz
