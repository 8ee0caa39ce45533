#include "decode/process/PixelGiver.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace orlix {

struct PixelGiver::Mapping {
    PixelGiver* owner;
    void* address;
    std::size_t length;
};

PixelGiver::~PixelGiver() = default;

void PixelGiver::unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    ::munmap(mapping->address, mapping->length);
    mapping->owner->memories_.erase(static_cast<const uchar*>(mapping->address));
    delete mapping;
}

QImage PixelGiver::make(QSize size, QImage::Format format, Use use) {
    const QImage probe(1, 1, format); // the row layout QImage itself would choose
    const int depth = probe.depth();
    if (size.isEmpty() || depth <= 0)
        return QImage();
    const qsizetype bytesPerLine = ((qsizetype(size.width()) * depth + 31) / 32) * 4;
    const auto length = static_cast<std::size_t>(bytesPerLine * size.height());
    if (use == Use::Fitted)
        fittedMade_ = true;
    platform::UniqueFd memory;
    void* address = nullptr;
    std::size_t mapped = length;
    if (std::optional<SpareMemory::Block> spare = spare_.take(length)) {
        memory = std::move(spare->memory);
        address = spare->address;
        mapped = spare->length;
    } else {
        memory = platform::newSealableMemory("orlix-given", length);
        if (!memory)
            return QImage();
        // Not populated here: the pages fault in as the decoder's bands write their rows, on
        // both cores, where populating would take one core for all of them before the decode.
        address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
        if (address == MAP_FAILED)
            return QImage();
    }
    auto* mapping = new Mapping{this, address, mapped};
    QImage image(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format,
                 unmap, mapping);
    if (image.isNull()) {
        ::munmap(address, mapped); // a refused image never calls its cleanup
        delete mapping;
        return QImage();
    }
    memories_[static_cast<const uchar*>(address)] = std::move(memory);
    return image;
}

platform::UniqueFd PixelGiver::give(QImage& image, PixelLayout& layout) {
    layout = PixelLayout();
    const auto found = memories_.find(image.constBits());
    if (image.isNull() || !image.isDetached() || found == memories_.end())
        return platform::UniqueFd();
    platform::UniqueFd memory = std::move(found->second);
    memories_.erase(found);
    const PixelLayout described{image.width(), image.height(), image.bytesPerLine(),
                                image.format()};
    image = QImage(); // the last copy: unmaps
    // The program takes given memory only when it holds the pixels and nothing more; a spare
    // that could not be cut down is cut here. Sealing against writes would fail while a
    // writable mapping was left.
    if (::ftruncate(memory.get(), static_cast<off_t>(described.bytes())) != 0 ||
        ::fcntl(memory.get(), F_ADD_SEALS, kGivenSeals) != 0)
        return platform::UniqueFd();
    layout = described;
    return memory;
}

platform::UniqueFd PixelGiver::giveCopy(const QImage& image, PixelLayout& layout) {
    layout = PixelLayout();
    if (image.isNull())
        return platform::UniqueFd();
    const PixelLayout wanted{image.width(), image.height(), image.bytesPerLine(), image.format()};
    platform::UniqueFd memory =
        platform::frozenCopy(image.constBits(), static_cast<std::size_t>(wanted.bytes()));
    if (memory)
        layout = wanted;
    return memory;
}

void PixelGiver::prepareSpare() {
    if (spareLength() > 0 && spareLength() <= kLargestSpare)
        spare_.prepare(spareLength());
}

} // namespace orlix
