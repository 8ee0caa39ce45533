#pragma once

#include "platform/ipc/UniqueFd.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <fcntl.h>

namespace orlix::platform {

// Memory shared between processes as a descriptor (a memfd), sealed so that whoever receives it
// can rely on it: a seal can be added but never taken away, and the receiver checks them.

// Memory no one can write, grow or shrink any more.
constexpr int kFrozenSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
// Memory that can neither grow nor shrink, but can still be written by whoever maps it so.
constexpr int kFixedSizeSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL;

// New memory of `length` bytes that can take seals, not yet sealed; invalid on failure.
// `name` is what the kernel lists it as.
UniqueFd newSealableMemory(const char* name, std::size_t length);

// New frozen memory holding a copy of `length` bytes at `data`; invalid on failure.
UniqueFd frozenCopy(const void* data, std::size_t length);

// The size of `memory` when it carries exactly `seals`; -1 when it does not, or is no memory.
std::int64_t sizeWithSeals(int memory, int seals);

// Data too large for a message (a display's colour profile) travels as frozen memory.
UniqueFd shareBytes(const QByteArray& bytes);
// A copy of the first `size` bytes (more than none) of frozen memory from shareBytes(); null
// when `memory` is not frozen memory holding that many.
QByteArray sharedBytes(int memory, std::int64_t size);

} // namespace orlix::platform
