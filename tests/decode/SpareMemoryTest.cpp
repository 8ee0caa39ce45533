// Memory for the next large picture, faulted in ahead while a decoder process waits: it is
// really in place when taken, it is taken only for a picture it fits, and a large picture made
// from it reaches the program as any other.
#include "platform/SpareMemory.h"
#include "platform/SharedImages.h"

#include <QTest>
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace orlix {
namespace {

using platform::SpareMemory;

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

void waitUntilFaultedIn(const SpareMemory& spare, std::size_t bytes) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return spare.faultedIn() >= bytes; }, 10000));
}

TEST(SpareMemory, IsFaultedInAheadAndTakenOnlyForAPictureItFits) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // At the decoder's idle priority the faulting could wait for as long as other tests keep
    // both cores busy.
    SpareMemory spare(SpareMemory::Priority::Normal);
    spare.prepare(kSpare);
    waitUntilFaultedIn(spare, kSpare);
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
        {"much smaller: the memory would lie idle", kSpare / 2, false},
        {"larger", kSpare + 1, false},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.what);
        spare.prepare(kSpare);
        block = spare.take(picture.wanted); // at once: faulting in stops where it got
        EXPECT_EQ(bool(block), picture.taken);
        if (block)
            ::munmap(block->address, block->length);
        EXPECT_FALSE(spare.take(kSpare)) << "a spare not taken is freed for the picture";
    }
}

TEST(SpareMemory, ALargePictureMadeFromItIsGivenAsAnyOther) {
    platform::SharedImages images;
    const QSize size(2048, 1536); // 12 MiB
    QImage first = images.make(size, QImage::Format_RGB32);
    ASSERT_FALSE(first.isNull());
    first = QImage();
    images.prepareSpare();
    QTest::qWait(300); // faulted in or not, the next picture is the same to the program
    images.stopPreparing();
    QImage picture = images.make(size, QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            reinterpret_cast<QRgb*>(picture.scanLine(y))[x] = qRgb(x & 255, y & 255, 7);
    const QImage expected = picture.copy();
    platform::PixelLayout layout;
    platform::UniqueFd given = images.give(picture, layout);
    ASSERT_TRUE(given);
    EXPECT_EQ(platform::mapSharedPixels(std::move(given), layout), expected);
}

} // namespace
} // namespace orlix
