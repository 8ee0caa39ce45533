#include "catalogue/ScanFolder.h"

#include "catalogue/TestHelpers.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <functional>
#include <tuple>
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

using test::TempTree;

// The first name readdir gives in `tree`, hidden names and the dots left out.
QByteArray firstListed(const TempTree& tree) {
    QByteArray first;
    DIR* dir = ::opendir(tree.root().constData());
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            first = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return first;
}

bool fullScan(const QString& path, std::int16_t attributes, std::int16_t mask,
              const QString& extList) {
    EntryList entries;
    return ScanFolder(FileEntry{path, attributes}, entries, 0, mask, extList);
}

// Each case fills a folder; the test is asked about "@" (the folder), a path below it, or a
// blank path, and must agree with a full scan and with the answer written down.
TEST(FolderHasEntry, AnswersAsAFullScanDoes) {
    using Fill = std::function<void(TempTree&)>;
    const auto nothing = [](TempTree&) {};
    const std::tuple<const char*, Fill, const char*, std::int16_t, std::int16_t, const char*, bool>
        cases[] = {
            {"empty (only . and ..)", nothing, "@", kDirectoryBit, kAnyEntryMask, "", false},
            {"only hidden entries",
             [](TempTree& t) {
                 t.write(".hidden.jpg");
                 t.mkdir(".config");
             },
             "@", kDirectoryBit, kAnyEntryMask, "", false},
            {"one file", [](TempTree& t) { t.write("a.jpg"); }, "@", kDirectoryBit, kAnyEntryMask,
             "", true},
            {"one folder", [](TempTree& t) { t.mkdir("sub"); }, "@", kDirectoryBit, kAnyEntryMask,
             "", true},
            {"one folder, files wanted by extension", [](TempTree& t) { t.mkdir("sub"); }, "@",
             kDirectoryBit, kAnyEntryMask, "jpg", false},
            {"one file, folders wanted", [](TempTree& t) { t.write("a.jpg"); }, "@", kDirectoryBit,
             kDirectoriesMask, "", false},
            {"only a dangling link", [](TempTree& t) { t.symlink("gone", "link"); }, "@",
             kDirectoryBit, kAnyEntryMask, "", false},
            {"trailing separator", [](TempTree& t) { t.write("a.jpg"); }, "@/", kDirectoryBit,
             kAnyEntryMask, "", true},
            {"missing folder", nothing, "@/missing", kDirectoryBit, kAnyEntryMask, "", false},
            {"a file instead of a folder", [](TempTree& t) { t.write("a.jpg"); }, "@/a.jpg",
             kDirectoryBit, kAnyEntryMask, "", false},
            {"record without the directory bit", [](TempTree& t) { t.write("a.jpg"); }, "@", 0,
             kAnyEntryMask, "", false},
            {"blank path", nothing, "   ", kDirectoryBit, kAnyEntryMask, "", false},
            {"the root", nothing, "/", kDirectoryBit, kDirectoriesMask, "", true}};
    for (const auto& [what, fill, at, attributes, mask, extList, want] : cases) {
        SCOPED_TRACE(what);
        TempTree tree;
        fill(tree);
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
    for (int i = 0; i < 50 && (picture.isEmpty() || firstListed(tree) == picture); ++i) {
        if (!picture.isEmpty())
            ::unlink(tree.path(picture).constData());
        picture = "picture" + QByteArray::number(i) + ".jpg";
        tree.write(picture);
    }
    ASSERT_TRUE(firstListed(tree).startsWith("link")) << "no dangling link came first";
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
