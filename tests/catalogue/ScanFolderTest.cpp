#include "catalogue/ScanFolder.h"

#include "catalogue/SortEntries.h"
#include "catalogue/TestHelpers.h"
#include "platform/files/NativePath.h"
#include "support/OtherUser.h"
#include "support/TempTree.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>
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

using test::pathsOf;
using test::TempTree;

bool scan(const QString& path, EntryList& entries, std::int16_t sortFlag = 1,
          const QString& extList = QString(), std::int16_t attrMask = kAnyEntryMask,
          std::int16_t attributes = kDirectoryBit) {
    return ScanFolder(FileEntry{path, attributes}, entries, sortFlag, attrMask, extList);
}

// Full paths in readdir's order, hidden names and the dots left out.
QStringList readdirOrder(const TempTree& tree) {
    QStringList paths;
    for (const QByteArray& name : test::listedNames(tree.root()))
        paths << platform::fromNative(tree.path(name));
    return paths;
}

// "name:attributes" below `root`, in the order stored.
QString described(const EntryList& entries, const QString& root) {
    QStringList items;
    for (const FileEntry& entry : entries)
        items << entry.Path.mid(root.size() + 1) + ':' + QString::number(entry.Attributes);
    return items.join(' ');
}

const EntryList kUntouched = {FileEntry{"/earlier/scan.jpg", 32}};

TEST(ScanFolder, FolderPathsAndBadInput) {
    TempTree tree;
    tree.write("a\x8E\xCA.jpg", "picture bytes"); // not UTF-8 (Shift-JIS)
    tree.write("two/.secret.jpg");
    const auto native = [&tree](const char* path) {
        return platform::fromNative(QByteArray(path).replace('@', tree.root()));
    };
    // `want`: null leaves the list untouched, "" empties it, else the paths stored ("@": root).
    // What else a full scan answers false to is in FolderHasEntry.AnswersAsAFullScanDoes.
    const std::tuple<const char*, std::int16_t, const char*> cases[] = {
        {"@/nowhere", 16, nullptr},
        {"@", 0, nullptr},
        {"@/two", 16, ""},
        {"@/", 16, "@/a\x8E\xCA.jpg|@/two"},
        {" @/  ", 16, "@/a\x8E\xCA.jpg|@/two"}};
    EntryList entries;
    for (const auto& [path, attributes, want] : cases) {
        SCOPED_TRACE(path);
        entries = kUntouched;
        EXPECT_EQ(scan(native(path), entries, 1, {}, kAnyEntryMask, attributes), want && *want);
        EXPECT_EQ(pathsOf(entries),
                  native(want ? want : "/earlier/scan.jpg").split('|', Qt::SkipEmptyParts));
    }
    std::string contents;
    std::getline(std::ifstream(platform::toNative(entries.at(0).Path).constData()), contents);
    EXPECT_EQ(contents, "picture bytes");
    EntryList top;
    ASSERT_TRUE(scan("/", top, 0, {}, kDirectoriesMask));
    EXPECT_TRUE(pathsOf(top).contains("/tmp"));
    EXPECT_FALSE(pathsOf(top).join('|').contains("//"));
}

TEST(ScanFolder, FiltersMasksSortFlagAndUnreadableEntries) {
    TempTree tree;
    tree.make("PHOTO.JPG x.jpeg a.png jpg a.jpg.txt a. trip.gif/ dirlink>trip.gif "
              "filelink>PHOTO.JPG bad-dangling.jpg>missing.jpg bad-loop.jpg>bad-loop.jpg");
    const QStringList all = readdirOrder(tree);
    const QStringList listed = all.filter(QRegularExpression("/[^/b][^/]*$"));
    ASSERT_LT(all.indexOf(QRegularExpression(".*/bad-.*")), all.indexOf(listed.last()))
        << "the unreadable entries came last; the check would prove nothing";
    const std::tuple<const char*, std::int16_t, const char*> cases[] = {
        {"jpg", kAnyEntryMask, "PHOTO.JPG:32"},
        {"gif|jpg", kAnyEntryMask, "PHOTO.JPG:32 trip.gif:16"},
        {"jpeg|gif|jpg", kAnyEntryMask, "PHOTO.JPG:32 trip.gif:16 x.jpeg:32"},
        {"jpg|", kAnyEntryMask, "a.:32 PHOTO.JPG:32"}, // an empty item stands for "." alone
        {"", kDirectoriesMask, "dirlink:16 trip.gif:16"},
        {"", kAnyEntryMask,
         "a.:32 a.jpg.txt:32 a.png:32 dirlink:16 filelink:32 jpg:32 PHOTO.JPG:32 trip.gif:16 "
         "x.jpeg:32"}};
    EntryList entries;
    for (const auto& [extList, mask, want] : cases) {
        SCOPED_TRACE(extList);
        EXPECT_TRUE(scan(tree.rootText(), entries, 1, extList, mask));
        EXPECT_EQ(described(entries, tree.rootText()), want);
    }
    ASSERT_NE(pathsOf(entries), listed) << "the file system happened to list in sorted order";
    for (const std::int16_t flag : {0, 2, -1, 257}) {
        ASSERT_TRUE(scan(tree.rootText(), entries, flag));
        EXPECT_EQ(pathsOf(entries), listed) << "sortFlag " << flag;
    }
}

TEST(ScanFolder, StopsUnsortedAfterTheLastEntryACountCanHold) {
    TempTree tree;
    for (int i = 0; i < kMaxEntries + 5; ++i)
        tree.write(QByteArray::number((i * 7919) % (kMaxEntries + 5)) + ".jpg", QByteArray());
    EntryList entries;
    EXPECT_TRUE(scan(tree.rootText(), entries, 1, "jpg"));
    EXPECT_EQ(pathsOf(entries), readdirOrder(tree).mid(0, kMaxEntries));
}

// A sorted scan of a long folder makes keys on a second thread while it still reads the folder.
// It must order the entries, and report progress, exactly as SortEntries does with the
// unsorted scan's list; names that differ only in case leave ties that the listing order breaks.
TEST(ScanFolder, LongSortedScanOrdersAsSortEntries) {
    TempTree tree;
    const char* const pieces[] = {"a",  "A", "b", "写真", "é",  "e\xCC\x81", "ß",
                                  "ss", "-", " ", "1",    "10", "\x8E\xCA",  "z"};
    std::mt19937 random(99);
    for (int i = 0; i < 1500; ++i) {
        QByteArray name;
        for (int j = random() % 4; j >= 0; --j)
            name += pieces[random() % std::size(pieces)];
        name += i % 3 ? ".jpg" : ".JPG";
        if (!QFile::exists(platform::fromNative(tree.path(name))))
            tree.write(name);
    }
    for (const char* locale : {"C", "en_US", "ja_JP"}) {
        SCOPED_TRACE(locale);
        test::ScopedDefaultLocale scoped(locale);
        EntryList sorted, reference;
        test::RecordingProgressWindow window, referenceWindow;
        ASSERT_TRUE(ScanFolder(FileEntry{tree.rootText(), kDirectoryBit}, sorted, 1, kAnyEntryMask,
                               "jpg", &window));
        ASSERT_TRUE(scan(tree.rootText(), reference, 0, "jpg"));
        ASSERT_GT(reference.size(), 1000u);
        SortEntries(reference, kSortKeyLength, &referenceWindow);
        EXPECT_EQ(pathsOf(sorted), pathsOf(reference));
        EXPECT_EQ(window.log, referenceWindow.log);
    }
}

// Root reads every folder, so as root the check runs as another user.
TEST(ScanFolder, FolderThatCannotBeReadGivesFalseAndLeavesEntries) {
    TempTree tree;
    tree.write("locked/a.jpg");
    tree.write("open/a.jpg");
    ASSERT_EQ(::chmod(tree.root().constData(), 0711) | ::chmod(tree.path("locked").constData(), 0),
              0);
    const auto check = [&tree] {
        EntryList entries = kUntouched, sibling;
        const FileEntry locked{platform::fromNative(tree.path("locked")), kDirectoryBit};
        const FileEntry open{platform::fromNative(tree.path("open")), kDirectoryBit};
        return QByteArray(ScanFolder(locked, entries, 1, kAnyEntryMask, {}) ? "scan true; " : "") +
               (entries == kUntouched ? "" : "list changed; ") +
               (ScanFolder(open, sibling, 1, kAnyEntryMask, {}) ? "" : "sibling failed; ") +
               (FolderHasEntry(locked, kAnyEntryMask, {}) ? "test true; " : "") +
               (FolderHasEntry(open, kAnyEntryMask, {}) ? "" : "sibling test false");
    };
    const auto faults = ::geteuid() == 0 ? test::asNobody(check) : check();
    if (!faults)
        GTEST_SKIP() << "cannot become user nobody (65534): run as root";
    EXPECT_EQ(*faults, "");
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
        tree.make(items);
        const QString path = platform::fromNative(QByteArray(at).replace('@', tree.root()));
        EntryList entries;
        EXPECT_EQ(FolderHasEntry(FileEntry{path, attributes}, mask, extList), want);
        EXPECT_EQ(scan(path, entries, 0, extList, mask, attributes), want);
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
    EntryList entries;
    EXPECT_TRUE(FolderHasEntry(FileEntry{tree.rootText(), kDirectoryBit}, kAnyEntryMask, "jpg"));
    EXPECT_TRUE(scan(tree.rootText(), entries, 0, "jpg"));
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
