#include "platform/ipc/SharedFlag.h"

#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace orlix::platform {

namespace {

constexpr std::size_t kPage = 4096;
constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_FUTURE_WRITE | F_SEAL_SEAL;

} // namespace

SharedFlag::SharedFlag(UniqueFd memory, void* mapping, bool writable)
    : memory_(std::move(memory)), mapping_(mapping),
      writable_(writable ? static_cast<std::atomic<bool>*>(mapping) : nullptr),
      flag_(static_cast<const std::atomic<bool>*>(mapping)) {}

SharedFlag::~SharedFlag() {
    ::munmap(mapping_, kPage);
}

std::unique_ptr<SharedFlag> SharedFlag::create() {
    UniqueFd memory(::memfd_create("orlix-flag", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory || ::ftruncate(memory.get(), kPage) != 0)
        return nullptr;
    void* mapping = ::mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    // The mapping made before the seal stays writable; no later one can be.
    if (::fcntl(memory.get(), F_ADD_SEALS, kSeals) != 0) {
        ::munmap(mapping, kPage);
        return nullptr;
    }
    new (mapping) std::atomic<bool>(false);
    return std::unique_ptr<SharedFlag>(new SharedFlag(std::move(memory), mapping, true));
}

std::unique_ptr<SharedFlag> SharedFlag::open(UniqueFd memory) {
    if (!memory || ::fcntl(memory.get(), F_GET_SEALS) != kSeals)
        return nullptr;
    void* mapping = ::mmap(nullptr, kPage, PROT_READ, MAP_SHARED, memory.get(), 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    return std::unique_ptr<SharedFlag>(new SharedFlag(std::move(memory), mapping, false));
}

} // namespace orlix::platform
