#include "catalogue/ScanFolder.h"

#include "catalogue/TestHelpers.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

// The test program is linked with --wrap=readdir, so every readdir call of the program, the
// catalogue's included, comes through here and is counted.
namespace {
int readdirCalls = 0;
}
extern "C" {
dirent* __real_readdir(DIR* dir);
dirent* __wrap_readdir(DIR* dir) {
    ++readdirCalls;
    return __real_readdir(dir);
}
}

namespace orlix {
namespace {

using test::fill;
using test::TempTree;

bool fullScan(const QString& path, std::int16_t attributes, std::int16_t mask,
              const QString& extList) {
    EntryList entries;
    return ScanFolder(FileEntry{path, attributes}, entries, 0, mask, extList);
}

// Each case fills a folder; the test is asked about "@" (the folder), a path below it, or a
// blank path, and must agree with a full scan and with the answer written down.
TEST(FolderHasEntry, AnswersAsAFullScanDoes) {
    const struct {
        const char* what;
        const char* items;
        bool want;
        const char* at = "@";
        std::int16_t mask = kAnyEntryMask;
        const char* extList = "";
        std::int16_t attributes = kDirectoryBit;
    } cases[] = {
        {"empty (only . and ..)", "", false},
        {"only hidden entries", ".hidden.jpg .config/", false},
        {"one file", "a.jpg", true},
        {"one folder", "sub/", true},
        {"one folder, files wanted by extension", "sub/", false, "@", kAnyEntryMask, "jpg"},
        {"one file, folders wanted", "a.jpg", false, "@", kDirectoriesMask},
        {"only a dangling link", "link>gone", false},
        {"trailing separator", "a.jpg", true, "@/"},
        {"missing folder", "", false, "@/missing"},
        {"a file instead of a folder", "a.jpg", false, "@/a.jpg"},
        {"record without the directory bit", "a.jpg", false, "@", kAnyEntryMask, "", 0},
        {"blank path", "", false, "   "},
        {"the root", "", true, "/", kDirectoriesMask},
    };
    for (const auto& [what, items, want, at, mask, extList, attributes] : cases) {
        SCOPED_TRACE(what);
        TempTree tree;
        fill(tree, items);
        const QString path = platform::fromNative(QByteArray(at).replace('@', tree.root()));
        EXPECT_EQ(FolderHasEntry(FileEntry{path, attributes}, mask, extList), want);
        EXPECT_EQ(fullScan(path, attributes, mask, extList), want);
    }
}

// A dangling link that the listing gives before the only picture must be passed over, not
// taken for the answer.
TEST(FolderHasEntry, PassesOverAnUnreadableFirstEntry) {
    TempTree tree;
    for (int i = 0; i < 20; ++i)
        tree.symlink("gone", "link" + QByteArray::number(i) + ".jpg");
    // The file system chooses the order: make new pictures until one is not listed first.
    QByteArray picture;
    for (int i = 0;
         i < 50 && (picture.isEmpty() || test::listedNames(tree.root()).value(0) == picture); ++i) {
        if (!picture.isEmpty())
            ::unlink(tree.path(picture).constData());
        picture = "picture" + QByteArray::number(i) + ".jpg";
        tree.write(picture);
    }
    ASSERT_TRUE(test::listedNames(tree.root()).value(0).startsWith("link"))
        << "no dangling link came first";
    EXPECT_TRUE(FolderHasEntry(FileEntry{tree.rootText(), kDirectoryBit}, kAnyEntryMask, "jpg"));
    EXPECT_TRUE(fullScan(tree.rootText(), kDirectoryBit, kAnyEntryMask, "jpg"));
}

// Time-free evidence that the test stops early: it asks the listing for a few names where the
// full scan asks for every one.
TEST(FolderHasEntry, ReadsOnlyUpToTheFirstEntryItWouldStore) {
    TempTree tree;
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        tree.write(QByteArray::number(i) + ".jpg", QByteArray());
    const FileEntry folder{tree.rootText(), kDirectoryBit};

    readdirCalls = 0;
    EXPECT_TRUE(FolderHasEntry(folder, kAnyEntryMask, QString()));
    const int testCalls = readdirCalls;

    readdirCalls = 0;
    EntryList entries;
    EXPECT_TRUE(ScanFolder(folder, entries, 0, kAnyEntryMask, QString()));
    const int scanCalls = readdirCalls;

    EXPECT_GT(scanCalls, kFiles) << "the calls are not being counted";
    // "." and ".." may come first, then the first file.
    EXPECT_GE(testCalls, 1);
    EXPECT_LE(testCalls, 3);
}

} // namespace
} // namespace orlix
