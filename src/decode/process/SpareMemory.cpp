#include "decode/process/SpareMemory.h"

#include "platform/sandbox/CurrentThread.h"

#include <algorithm>
#include <cerrno>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; Debian 12's headers predate it
#endif

namespace orlix {

namespace {

// The faulting thread looks whether it is to stop after each of these.
constexpr std::size_t kChunk = std::size_t(4) << 20;

} // namespace

SpareMemory::~SpareMemory() {
    free();
}

void SpareMemory::stop() {
    if (!faulting_.joinable())
        return;
    stopping_ = true;
    faulting_.join();
    stopping_ = false;
}

void SpareMemory::free() {
    stop();
    if (spare_)
        ::munmap(spare_->address, spare_->length);
    spare_.reset();
}

void SpareMemory::prepare(std::size_t bytes) {
    if (bytes == 0 || (spare_ && spare_->length == bytes))
        return;
    free();
    platform::UniqueFd memory(::memfd_create("orlix-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory || ::ftruncate(memory.get(), static_cast<off_t>(bytes)) != 0)
        return;
    void* address = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (address == MAP_FAILED)
        return;
    spare_ = Block{std::move(memory), address, bytes};
    try {
        faulting_ = std::thread(
            [this, start = static_cast<char*>(address), bytes] { faultIn(start, bytes); });
    } catch (const std::system_error&) {
        // no thread to be had: the pages fault in as the picture is decoded
    }
}

void SpareMemory::faultIn(char* bytes, std::size_t length) {
    if (priority_ == Priority::Idle)
        platform::idleCurrentThread();
    const long page = ::sysconf(_SC_PAGESIZE);
    bool askKernel = true;
    for (std::size_t done = 0; done < length && !stopping_.load(); done += kChunk) {
        const std::size_t chunk = std::min(kChunk, length - done);
        // Asking the kernel faults a whole chunk in one call; kernels before 5.14 refuse, and
        // then every page is written once (a new page of shared memory reads as zeros).
        if (askKernel && ::madvise(bytes + done, chunk, MADV_POPULATE_WRITE) != 0) {
            if (errno != EINVAL)
                return; // out of memory, say: the picture will have to do without
            askKernel = false;
        }
        if (!askKernel) {
            for (std::size_t at = 0; at < chunk; at += static_cast<std::size_t>(page))
                reinterpret_cast<volatile char*>(bytes + done)[at] = 0;
        }
    }
}

void SpareMemory::cutTo(std::size_t length) {
    if (length >= spare_->length)
        return;
    // Truncating first: should it fail, the spare stays whole and still serves, only larger.
    if (::ftruncate(spare_->memory.get(), static_cast<off_t>(length)) != 0)
        return;
    ::munmap(static_cast<char*>(spare_->address) + length, spare_->length - length);
    spare_->length = length;
}

std::optional<SpareMemory::Block> SpareMemory::take(std::size_t bytes) {
    stop();
    if (!spare_ || bytes == 0 || spare_->length < bytes || spare_->length / kMostOver > bytes) {
        free();
        return std::nullopt;
    }
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    cutTo((bytes + page - 1) / page * page);
    std::optional<Block> taken = std::move(spare_);
    spare_.reset();
    return taken;
}

} // namespace orlix
