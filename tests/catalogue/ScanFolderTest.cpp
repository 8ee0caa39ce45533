#include "catalogue/ScanFolder.h"

#include "catalogue/TestHelpers.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix {
namespace {

using test::pathsOf;
using test::TempTree;

bool scan(const QString& path, EntryList& entries, std::int16_t sortFlag = 1,
          const QString& extList = QString(), std::int16_t attrMask = kAnyEntryMask,
          std::int16_t attributes = kDirectoryBit) {
    return ScanFolder(FileEntry{path, attributes}, entries, sortFlag, attrMask, extList);
}

// Full paths in the order readdir gives them, "." and ".." and hidden names left out.
QStringList readdirOrder(const TempTree& tree) {
    QStringList paths;
    DIR* dir = ::opendir(tree.root().constData());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.')
            paths << platform::fromNative(tree.path(entry->d_name));
    }
    if (dir)
        ::closedir(dir);
    return paths;
}

const EntryList kUntouched = {FileEntry{QStringLiteral("/earlier/scan.jpg"), 32}};

// Inputs that store nothing. `emptied`: a listing was started, so the list was emptied;
// otherwise it is left exactly as the caller had it.
struct NothingCase {
    const char* label;
    const char* path; // "@" stands for the scratch folder
    std::int16_t attributes;
    bool emptied;
};

class ScanFindsNothing : public ::testing::TestWithParam<NothingCase> {};

TEST_P(ScanFindsNothing, GivesFalse) {
    TempTree tree;
    tree.write("file.jpg");
    tree.mkdir("empty");
    tree.write("hidden/.secret.jpg");
    tree.mkdir("hidden/.cache");
    const NothingCase& c = GetParam();
    EntryList entries = kUntouched;
    const QString path = QString::fromUtf8(c.path).replace("@", tree.rootText());
    EXPECT_FALSE(scan(path, entries, 0, QString(), kAnyEntryMask, c.attributes));
    EXPECT_EQ(entries, c.emptied ? EntryList() : kUntouched);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, ScanFindsNothing,
    ::testing::Values(NothingCase{"missingFolder", "@/nowhere", 16, false},
                      NothingCase{"pathNamesAFile", "@/file.jpg", 16, false},
                      NothingCase{"emptyPath", "", 16, false},
                      NothingCase{"blankPath", "    ", 16, false},
                      // Only spaces are trimmed: a tab stays part of a name that does not exist.
                      NothingCase{"tabBeforePath", "\t@", 16, false},
                      NothingCase{"placeholderWithoutDirectoryBit", "@", 0, false},
                      NothingCase{"fileAttributes", "@", 32 | 128, false},
                      NothingCase{"emptyFolder", "@/empty", 16, true},
                      NothingCase{"onlyHiddenEntries", "@/hidden", 16 | 32, true}),
    [](const auto& info) { return std::string(info.param.label); });

struct ExtensionCase {
    const char* name; // a trailing "/" makes a folder
    const char* extList;
    bool passes;
};

class ScanExtensions : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ScanExtensions, MatchTheTailOfTheFullPath) {
    const ExtensionCase& c = GetParam();
    TempTree tree;
    QByteArray name(c.name);
    if (name.endsWith('/'))
        tree.mkdir(name.chopped(1));
    else
        tree.write(name);
    EntryList entries;
    EXPECT_EQ(scan(tree.rootText(), entries, 0, QString::fromLatin1(c.extList)), c.passes);
    EXPECT_EQ(entries.size(), c.passes ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Filter, ScanExtensions,
                         ::testing::Values(ExtensionCase{"PHOTO.JPG", "jpg", true},
                                           ExtensionCase{"a.JpG", "gif|jpg", true},
                                           ExtensionCase{"x.jpeg", "jpg", false},
                                           ExtensionCase{"trip.gif/", "gif", true},
                                           ExtensionCase{"a.png", "bmp|jpg|gif", false},
                                           ExtensionCase{"jpg", "jpg", false},
                                           ExtensionCase{"a.jpg.txt", "jpg", false},
                                           ExtensionCase{"notes.txt", "", true},
                                           // An empty item stands for "." alone.
                                           ExtensionCase{"a.", "jpg|", true},
                                           ExtensionCase{"a.gif", "jpg|", false}));

TEST(ScanFolder, MaskChoosesDirectoriesOrEverything) {
    TempTree tree;
    tree.mkdir("sub");
    tree.write("file.txt");
    tree.symlink("sub", "linkToSub");
    tree.symlink("file.txt", "linkToFile");
    const QString root = tree.rootText();
    EntryList entries;
    ASSERT_TRUE(scan(root, entries, 1, QString(), kDirectoriesMask));
    EXPECT_EQ(entries, EntryList({{root + "/linkToSub", 16}, {root + "/sub", 16}}));
    ASSERT_TRUE(scan(root, entries, 1, QString(), kAnyEntryMask));
    EXPECT_EQ(entries, EntryList({{root + "/file.txt", 32},
                                  {root + "/linkToFile", 32},
                                  {root + "/linkToSub", 16},
                                  {root + "/sub", 16}}));
}

TEST(ScanFolder, OnlySortFlagOneSorts) {
    TempTree tree;
    for (const char* name : {"m.jpg", "B.jpg", "a.jpg", "z.jpg", "C.jpg", "k.jpg", "Y.jpg"})
        tree.write(name);
    const QStringList listed = readdirOrder(tree);
    QStringList sorted = listed;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    ASSERT_NE(listed, sorted) << "the file system happened to list in sorted order";
    for (const std::int16_t flag : {0, 2, -1, 257}) {
        EntryList entries;
        ASSERT_TRUE(scan(tree.rootText(), entries, flag, "jpg"));
        EXPECT_EQ(pathsOf(entries), listed) << "sortFlag " << flag;
    }
    EntryList entries;
    ASSERT_TRUE(scan(tree.rootText(), entries, 1, "jpg"));
    EXPECT_EQ(pathsOf(entries), sorted);
}

TEST(ScanFolder, TrailingSeparatorAndSpacesListTheSameFolder) {
    TempTree tree;
    tree.write("one.jpg");
    tree.mkdir("two");
    const QString root = tree.rootText();
    for (const QString& spelling :
         {root, root + "/", "  " + root, root + "   ", " " + root + "/ "}) {
        EntryList entries;
        EXPECT_TRUE(scan(spelling, entries));
        EXPECT_EQ(pathsOf(entries), QStringList({root + "/one.jpg", root + "/two"})) << spelling;
    }
    // Only one separator is dropped.
    EntryList doubled;
    ASSERT_TRUE(scan(root + "//", doubled));
    EXPECT_EQ(pathsOf(doubled), QStringList({root + "//one.jpg", root + "//two"}));
    // The root keeps its only separator.
    EntryList top;
    ASSERT_TRUE(scan("/", top, 0, QString(), kDirectoriesMask));
    EXPECT_TRUE(pathsOf(top).contains("/tmp"));
    EXPECT_FALSE(pathsOf(top).join("|").contains("//"));
}

TEST(ScanFolder, NamesThatAreNotUtf8AreListedAndOpenAgain) {
    TempTree tree;
    // "写真" in Shift-JIS, as a folder and in a file name.
    tree.write("\x8E\xCA\x90\x5E/\x8E\xCA\x90\x5E.jpg", "picture bytes");
    tree.write("\x8E\xCA\x90\x5E/plain.jpg");
    EntryList entries;
    ASSERT_TRUE(scan(platform::fromNative(tree.path("\x8E\xCA\x90\x5E")), entries, 1, "jpg"));
    ASSERT_EQ(entries.size(), 2u);
    const QString& odd = entries[0].Path.endsWith("plain.jpg") ? entries[1].Path : entries[0].Path;
    EXPECT_EQ(platform::toNative(odd), tree.path("\x8E\xCA\x90\x5E/\x8E\xCA\x90\x5E.jpg"));
    EXPECT_TRUE(platform::forDisplay(odd).contains(QChar(0xFFFD)));
    const int fd = ::open(platform::toNative(odd).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char buffer[32] = {};
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), "picture bytes");
}

TEST(ScanFolder, UnreadableEntriesAreSkippedAndTheScanGoesOn) {
    TempTree tree;
    QStringList good;
    for (int i = 0; i < 20; ++i) {
        tree.write("good" + QByteArray::number(i) + ".jpg");
        good << tree.rootText() + "/good" + QString::number(i) + ".jpg";
    }
    tree.symlink("missing-target.jpg", "bad-dangling.jpg");
    tree.symlink("bad-dangling.jpg", "bad-chain.jpg");
    tree.symlink("bad-loop.jpg", "bad-loop.jpg");
    const QStringList order = readdirOrder(tree);
    const auto firstBad = std::find_if(order.begin(), order.end(),
                                       [](const QString& path) { return path.contains("/bad"); });
    ASSERT_TRUE(std::any_of(firstBad, order.end(), [](const QString& path) {
        return path.contains("/good");
    })) << "every unreadable entry came last; the check would prove nothing";
    EntryList entries;
    ASSERT_TRUE(scan(tree.rootText(), entries, 1, "jpg"));
    std::sort(good.begin(), good.end());
    EXPECT_EQ(pathsOf(entries), good);
}

TEST(ScanFolder, StopsAfterTheLastEntryACountCanHoldAndLeavesThemUnsorted) {
    TempTree tree;
    const int made = kMaxEntries + 5;
    for (int i = 0; i < made; ++i)
        tree.write(QByteArray::number((i * 7919) % made) + ".jpg", QByteArray());
    const QStringList listed = readdirOrder(tree);
    ASSERT_EQ(listed.size(), made);
    test::RecordingProgressWindow window;
    EntryList entries;
    EXPECT_TRUE(
        ScanFolder(FileEntry{tree.rootText(), 16}, entries, 1, kAnyEntryMask, "jpg", &window));
    EXPECT_EQ(pathsOf(entries), listed.mid(0, kMaxEntries));
    EXPECT_TRUE(window.calls.isEmpty()) << "no sort, so no progress";
}

// Root reads every folder, so the permission check runs in a child that has become "nobody".
TEST(ScanFolder, FolderThatCannotBeReadGivesFalseAndLeavesEntries) {
    TempTree tree;
    tree.write("locked/a.jpg");
    tree.write("open/a.jpg");
    ASSERT_EQ(::chmod(tree.root().constData(), 0711), 0);
    ASSERT_EQ(::chmod(tree.path("open").constData(), 0755), 0);
    ASSERT_EQ(::chmod(tree.path("locked").constData(), 0), 0);
    // Bit 1: the scan said true; 2: it changed the list; 4: the readable sibling failed.
    const auto check = [&tree] {
        int faults = 0;
        EntryList entries = kUntouched;
        faults |= scan(platform::fromNative(tree.path("locked")), entries) ? 1 : 0;
        faults |= entries == kUntouched ? 0 : 2;
        EntryList sibling;
        faults |= scan(platform::fromNative(tree.path("open")), sibling) ? 0 : 4;
        return faults;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(check(), 0);
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(::setgid(65534) != 0 || ::setuid(65534) != 0 ? 100 : check());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100)
        GTEST_SKIP() << "cannot become user nobody (65534) to test an unreadable folder";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "fault bits, see check()";
}

} // namespace
} // namespace orlix
