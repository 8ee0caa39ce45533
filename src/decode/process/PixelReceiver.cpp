#include "decode/process/PixelReceiver.h"

#include "decode/process/BackgroundUnmapper.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace orlix {

namespace {

// Below this many bytes a second thread costs about what it saves. Above it, two threads copy
// a photo's pixels in about two thirds of the time one takes.
constexpr std::size_t kBytesWorthTwoThreads = std::size_t(4) << 20;

// The rows [first, last) from `from` to `to`, whose rows are `toBytesPerLine` apart.
void copyRows(uchar* to, std::int64_t toBytesPerLine, const uchar* from,
              std::int64_t fromBytesPerLine, int first, int last) {
    if (fromBytesPerLine == toBytesPerLine) {
        std::memcpy(to + first * toBytesPerLine, from + first * fromBytesPerLine,
                    static_cast<std::size_t>(toBytesPerLine * (last - first)));
        return;
    }
    for (int y = first; y < last; ++y) // the lender padded its rows further than this process
        std::memcpy(to + y * toBytesPerLine, from + y * fromBytesPerLine,
                    static_cast<std::size_t>(toBytesPerLine));
}

// `bytes` rounded up to whole pages: what a mapping of them takes.
std::size_t inPages(std::int64_t bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (static_cast<std::size_t>(bytes) + page - 1) / page * page;
}

struct GivenMapping {
    void* address;
    std::size_t length;
};

void unmapGiven(void* info) {
    auto* mapping = static_cast<GivenMapping*>(info);
    BackgroundUnmapper::instance().unmap(mapping->address, mapping->length);
    delete mapping;
}

} // namespace

PixelReceiver::~PixelReceiver() {
    forget();
}

void PixelReceiver::forget() {
    if (mapping_)
        ::munmap(const_cast<void*>(mapping_), size_);
    mapping_ = nullptr;
    size_ = 0;
}

bool PixelReceiver::map(int memory, dev_t device, ino_t inode, std::size_t size) {
    // While mapped, the memory cannot be freed, so its inode number cannot pass to other memory;
    // and sealed against shrinking and growing, it keeps the size it had.
    if (mapping_ && device == device_ && inode == inode_ && size <= size_)
        return true;
    forget();
    // Read in at once: the copy reads every page of it.
    void* address = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, memory, 0);
    if (address == MAP_FAILED)
        return false;
    mapping_ = address;
    size_ = size;
    device_ = device;
    inode_ = inode;
    return true;
}

bool PixelReceiver::mapLent(int memory, const PixelLayout& layout) {
    struct stat info {};
    if (memory < 0 || ::fcntl(memory, F_GET_SEALS) != kLentSeals || ::fstat(memory, &info) != 0 ||
        info.st_size > kLentBytesLimit || !layout.fits(static_cast<std::int64_t>(info.st_size)))
        return false;
    // Only the pixels' pages: the rest of the memory is the decoder's to size.
    return map(memory, info.st_dev, info.st_ino, inPages(layout.bytes()));
}

QImage PixelReceiver::borrowLent(int memory, const PixelLayout& layout) {
    if (!mapLent(memory, layout))
        return QImage();
    return QImage(static_cast<const uchar*>(mapping_), layout.width, layout.height,
                  layout.bytesPerLine, static_cast<QImage::Format>(layout.format));
}

QImage PixelReceiver::copyLent(int memory, const PixelLayout& layout) {
    if (!mapLent(memory, layout))
        return QImage();
    QImage image(layout.width, layout.height, static_cast<QImage::Format>(layout.format));
    if (image.isNull())
        return image;
    const auto* from = static_cast<const uchar*>(mapping_);
    uchar* to = image.bits(); // once, here: bits() is not for two threads at a time
    const std::int64_t toBytesPerLine = image.bytesPerLine();
    const int half = layout.height / 2;
    if (static_cast<std::size_t>(image.sizeInBytes()) >= kBytesWorthTwoThreads) {
        try {
            std::thread lower([&] {
                copyRows(to, toBytesPerLine, from, layout.bytesPerLine, half, layout.height);
            });
            copyRows(to, toBytesPerLine, from, layout.bytesPerLine, 0, half);
            lower.join();
            return image;
        } catch (const std::system_error&) {
            // no thread to be had: one copies it all
        }
    }
    copyRows(to, toBytesPerLine, from, layout.bytesPerLine, 0, layout.height);
    return image;
}

QImage PixelReceiver::mapGiven(platform::UniqueFd memory, const PixelLayout& layout) {
    // Given memory holds the pixels and nothing more: the mapping keeps all of it alive.
    const std::int64_t size = platform::sizeWithSeals(memory.get(), kGivenSeals);
    if (!layout.fits(size) || size != layout.bytes())
        return QImage();
    const auto length = static_cast<std::size_t>(layout.bytes());
    void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, memory.get(), 0);
    if (address == MAP_FAILED)
        return QImage();
    auto* mapping = new GivenMapping{address, length};
    QImage image(static_cast<const uchar*>(address), layout.width, layout.height,
                 static_cast<qsizetype>(layout.bytesPerLine),
                 static_cast<QImage::Format>(layout.format), unmapGiven, mapping);
    if (image.isNull()) {
        ::munmap(address, length); // a refused image never calls its cleanup
        delete mapping;
    }
    return image;
}

} // namespace orlix
