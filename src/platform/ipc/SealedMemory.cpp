#include "platform/ipc/SealedMemory.h"

#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::platform {

UniqueFd newSealableMemory(const char* name, std::size_t length) {
    UniqueFd memory(::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory || ::ftruncate(memory.get(), static_cast<off_t>(length)) != 0)
        return UniqueFd();
    return memory;
}

UniqueFd frozenCopy(const void* data, std::size_t length) {
    UniqueFd memory = newSealableMemory("orlix-shared", length);
    if (!memory)
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
    if (::fcntl(memory.get(), F_ADD_SEALS, kFrozenSeals) != 0)
        return UniqueFd();
    return memory;
}

std::int64_t sizeWithSeals(int memory, int seals) {
    struct stat info {};
    if (memory < 0 || ::fcntl(memory, F_GET_SEALS) != seals || ::fstat(memory, &info) != 0)
        return -1;
    return static_cast<std::int64_t>(info.st_size);
}

UniqueFd shareBytes(const QByteArray& bytes) {
    return frozenCopy(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray sharedBytes(int memory, std::int64_t size) {
    if (size <= 0 || sizeWithSeals(memory, kFrozenSeals) < size)
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
