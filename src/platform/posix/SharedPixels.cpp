#include "platform/SharedPixels.h"

#include "platform/posix/BackgroundUnmapper.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

// What the decoder seals, and what the program insists on: shrinking would leave the program's
// mapping without pages (a crash on reading them), writing would change a picture in use.
constexpr int kSeals = kSharedSeals;

struct Mapping {
    void* address;
    std::size_t length;
};

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    BackgroundUnmapper::instance().unmap(mapping->address, mapping->length);
    delete mapping;
}

// New memory holding `length` bytes copied from `data`, sealed; invalid on failure.
UniqueFd sealedCopy(const void* data, std::size_t length) {
    UniqueFd memory(::memfd_create("orlix-shared", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory || ::ftruncate(memory.get(), static_cast<off_t>(length)) != 0)
        return UniqueFd();
    if (length > 0) {
        // Populated at once: one pass of the kernel over the pages instead of a fault per page.
        void* address =
            ::mmap(nullptr, length, PROT_WRITE, MAP_SHARED | MAP_POPULATE, memory.get(), 0);
        if (address == MAP_FAILED)
            return UniqueFd();
        std::memcpy(address, data, length);
        ::munmap(address, length);
    }
    // Sealing against writes needs every writable mapping gone, hence after the unmap.
    if (::fcntl(memory.get(), F_ADD_SEALS, kSeals) != 0)
        return UniqueFd();
    return memory;
}

// The size of `memory` when it is sealed as sealedCopy() seals; -1 otherwise.
std::int64_t sealedSize(int memory) {
    struct stat info {};
    if (memory < 0 || ::fcntl(memory, F_GET_SEALS) != kSeals || ::fstat(memory, &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

} // namespace

bool PixelLayout::fits(std::int64_t available) const {
    if (width <= 0 || height <= 0 || format <= QImage::Format_Invalid ||
        format >= QImage::NImageFormats)
        return false;
    const int depth =
        static_cast<int>(QImage::toPixelFormat(static_cast<QImage::Format>(format)).bitsPerPixel());
    const std::int64_t rowBytes = (std::int64_t(width) * depth + 7) / 8;
    // QImage wants every row to start on a 32-bit boundary.
    if (bytesPerLine < rowBytes || bytesPerLine % 4 != 0)
        return false;
    return bytesPerLine <= available / height;
}

UniqueFd sharePixels(const QImage& image, PixelLayout& layout) {
    layout = PixelLayout();
    if (image.isNull())
        return UniqueFd();
    const PixelLayout wanted{image.width(), image.height(), image.bytesPerLine(), image.format()};
    UniqueFd memory = sealedCopy(image.constBits(), static_cast<std::size_t>(wanted.bytes()));
    if (memory)
        layout = wanted;
    return memory;
}

QImage mapSharedPixels(UniqueFd memory, const PixelLayout& layout) {
    if (!layout.fits(sealedSize(memory.get())))
        return QImage();
    const auto length = static_cast<std::size_t>(layout.bytes());
    void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, memory.get(), 0);
    if (address == MAP_FAILED)
        return QImage();
    auto* mapping = new Mapping{address, length};
    QImage image(static_cast<const uchar*>(address), layout.width, layout.height,
                 static_cast<qsizetype>(layout.bytesPerLine),
                 static_cast<QImage::Format>(layout.format), unmap, mapping);
    if (image.isNull()) {
        ::munmap(address, length); // a refused image never calls its cleanup
        delete mapping;
    }
    return image;
}

UniqueFd shareBytes(const QByteArray& bytes) {
    return sealedCopy(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray sharedBytes(int memory, std::int64_t size) {
    if (size <= 0 || sealedSize(memory) < size)
        return QByteArray();
    const auto length = static_cast<std::size_t>(size);
    void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, memory, 0);
    if (address == MAP_FAILED)
        return QByteArray();
    QByteArray bytes(static_cast<const char*>(address), static_cast<qsizetype>(size));
    ::munmap(address, length);
    return bytes;
}

} // namespace orlix::platform
