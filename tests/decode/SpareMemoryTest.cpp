// Memory for the next large picture, faulted in ahead while a decoder process waits: it is
// really in place when taken, it is taken only for a picture it serves, and what the picture
// leaves over is given back.
#include "decode/process/SpareMemory.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orlix {
namespace {

using orlix::SpareMemory;

constexpr std::size_t kSpare = std::size_t(24) << 20;

// How many pages of `length` bytes at `address` are in memory.
std::size_t residentPages(void* address, std::size_t length) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> resident((length + page - 1) / page);
    if (::mincore(address, length, resident.data()) != 0)
        return 0;
    std::size_t count = 0;
    for (const unsigned char flags : resident)
        count += flags & 1;
    return count;
}

// Waits until the spare of `bytes` is in memory, as the kernel lists its mapping: the one
// mapping of that size of memory named as the spare names it.
void waitUntilFaultedIn(std::size_t bytes) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto faultedIn = [&] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (!maps.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
            const quintptr start = range.value(0).toULongLong(nullptr, 16);
            if (line.contains("/memfd:orlix-picture") &&
                range.value(1).toULongLong(nullptr, 16) - start == bytes)
                return residentPages(reinterpret_cast<void*>(start), bytes) == bytes / page;
        }
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(faultedIn, 10000));
}

TEST(SpareMemory, IsFaultedInAheadAndTakenOnlyForAPictureItFits) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // At the decoder's idle priority the faulting could wait for as long as other tests keep
    // both cores busy.
    SpareMemory spare(SpareMemory::Priority::Normal);
    spare.prepare(kSpare);
    waitUntilFaultedIn(kSpare);
    std::optional<SpareMemory::Block> block = spare.take(kSpare);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->length, kSpare);
    EXPECT_EQ(residentPages(block->address, block->length), kSpare / page);
    ::munmap(block->address, block->length);
    EXPECT_FALSE(spare.take(kSpare)) << "taken once";

    const struct {
        const char* what;
        std::size_t wanted;
        bool taken;
    } pictures[] = {
        {"the same size", kSpare, true},
        {"an eighth smaller", kSpare - kSpare / 9, true},
        {"a quarter of it and a little, not on a page's end", kSpare / 4 + 100, true},
        {"under a quarter: the spare would cost more to cut than it saves", kSpare / 5, false},
        {"larger", kSpare + 1, false},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.what);
        spare.prepare(kSpare);
        block = spare.take(picture.wanted); // at once: faulting in stops where it got
        EXPECT_EQ(bool(block), picture.taken);
        if (block) {
            const std::size_t pages = (picture.wanted + page - 1) / page;
            EXPECT_EQ(block->length, pages * page) << "cut down to the picture's pages";
            struct stat status {};
            ASSERT_EQ(::fstat(block->memory.get(), &status), 0);
            EXPECT_EQ(std::size_t(status.st_size), block->length) << "the rest given back";
            static_cast<volatile char*>(block->address)[block->length - 1] = 1; // still mapped
            ::munmap(block->address, block->length);
        }
        EXPECT_FALSE(spare.take(kSpare)) << "a spare not taken is freed for the picture";
    }
}

} // namespace
} // namespace orlix
