#include "decode/process/PixelLender.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace orlix {

namespace {

// The memory grows in steps of this, so that pictures of nearly one size share one.
constexpr std::size_t kGranule = std::size_t(1) << 20;
static_assert(kLentBytesLimit % kGranule == 0, "the largest memory lent is the limit itself");

} // namespace

PixelLender::~PixelLender() {
    if (mapping_)
        ::munmap(mapping_, size_);
}

bool PixelLender::reserve(std::size_t bytes) {
    if (mapping_ && bytes <= size_)
        return true;
    if (bytes > static_cast<std::size_t>(kLentBytesLimit))
        return false; // the program takes no larger memory as lent
    if (mapping_)
        ::munmap(mapping_, size_);
    mapping_ = nullptr;
    size_ = 0;
    memory_.reset();
    const std::size_t size = (bytes + kGranule - 1) / kGranule * kGranule;
    platform::UniqueFd memory = platform::newSealableMemory("orlix-lent", size);
    if (!memory || ::fcntl(memory.get(), F_ADD_SEALS, kLentSeals) != 0)
        return false;
    void* mapping =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, memory.get(), 0);
    if (mapping == MAP_FAILED)
        return false;
    memory_ = std::move(memory);
    mapping_ = mapping;
    size_ = size;
    return true;
}

QImage PixelLender::make(QSize size, QImage::Format format) {
    const int depth = static_cast<int>(QImage::toPixelFormat(format).bitsPerPixel());
    if (size.isEmpty() || depth <= 0)
        return QImage();
    // Rows padded to 32 bits, as QImage pads the rows of images it allocates itself.
    const std::int64_t bytesPerLine = (std::int64_t(size.width()) * depth + 31) / 32 * 4;
    if (!reserve(static_cast<std::size_t>(bytesPerLine * size.height())))
        return QImage();
    return QImage(static_cast<uchar*>(mapping_), size.width(), size.height(),
                  static_cast<qsizetype>(bytesPerLine), format);
}

int PixelLender::lend(const QImage& image, PixelLayout& layout) {
    layout = PixelLayout();
    const PixelLayout wanted{image.width(), image.height(), image.bytesPerLine(), image.format()};
    if (image.isNull())
        return -1;
    if (mapping_ && image.constBits() == mapping_ &&
        static_cast<std::size_t>(wanted.bytes()) <= size_) {
        layout = wanted; // decoded in place
        return memory_.get();
    }
    if (!reserve(static_cast<std::size_t>(wanted.bytes())))
        return -1;
    std::memcpy(mapping_, image.constBits(), static_cast<std::size_t>(wanted.bytes()));
    layout = wanted;
    return memory_.get();
}

} // namespace orlix
