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
using test::RecordingProgressWindow;
using test::TempTree;

FileEntry folderRecord(const QString& path, std::int16_t attributes = kDirectoryBit) {
    return FileEntry{path, attributes};
}

// The names of `folder` in the order readdir gives them, "." and ".." and hidden ones left out.
QStringList readdirOrder(const QByteArray& folder) {
    QStringList names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names << platform::fromNative(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

const EntryList kUntouched = {FileEntry{QStringLiteral("/earlier/scan.jpg"), 32}};

// Inputs that store nothing. `emptied` says whether the list is refilled (a listing was
// started) or left exactly as the caller had it.
struct NothingCase {
    const char* label;
    QString (*path)(const TempTree&);
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
    EXPECT_FALSE(
        ScanFolder(folderRecord(c.path(tree), c.attributes), entries, 0, kAnyEntryMask, QString()));
    if (c.emptied) {
        EXPECT_TRUE(entries.empty());
    } else {
        EXPECT_EQ(entries, kUntouched);
    }
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, ScanFindsNothing,
    ::testing::Values(
        NothingCase{"missingFolder", [](const TempTree& t) { return t.rootText() + "/nowhere"; },
                    kDirectoryBit, false},
        NothingCase{"pathNamesAFile", [](const TempTree& t) { return t.rootText() + "/file.jpg"; },
                    kDirectoryBit, false},
        NothingCase{"emptyPath", [](const TempTree&) { return QString(); }, kDirectoryBit, false},
        NothingCase{"blankPath", [](const TempTree&) { return QStringLiteral("    "); },
                    kDirectoryBit, false},
        // Only spaces are trimmed: a tab is part of the name, and no such folder exists.
        NothingCase{"tabBeforePath", [](const TempTree& t) { return "\t" + t.rootText(); },
                    kDirectoryBit, false},
        NothingCase{"placeholderWithoutDirectoryBit",
                    [](const TempTree& t) { return t.rootText(); }, 0, false},
        NothingCase{"fileAttributesOnly", [](const TempTree& t) { return t.rootText(); }, 32 | 128,
                    false},
        NothingCase{"emptyFolder", [](const TempTree& t) { return t.rootText() + "/empty"; },
                    kDirectoryBit, true},
        NothingCase{"onlyHiddenEntries", [](const TempTree& t) { return t.rootText() + "/hidden"; },
                    kDirectoryBit, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ScanFolder, DirectoryBitAmongOthersIsEnough) {
    TempTree tree;
    tree.write("a.jpg");
    EntryList entries;
    EXPECT_TRUE(ScanFolder(folderRecord(tree.rootText(), 16 | 32 | 1), entries, 0, kAnyEntryMask,
                           QString()));
    EXPECT_EQ(entries.size(), 1u);
}

struct ExtensionCase {
    const char* label;
    QByteArray name;
    bool isDirectory;
    const char* extList;
    bool passes;
};

class ScanExtensions : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ScanExtensions, MatchTheTailOfTheFullPath) {
    const ExtensionCase& c = GetParam();
    TempTree tree;
    if (c.isDirectory)
        tree.mkdir(c.name);
    else
        tree.write(c.name);
    EntryList entries;
    const bool found = ScanFolder(folderRecord(tree.rootText()), entries, 0, kAnyEntryMask,
                                  QString::fromLatin1(c.extList));
    EXPECT_EQ(found, c.passes);
    ASSERT_EQ(entries.size(), c.passes ? 1u : 0u);
    if (c.passes) {
        EXPECT_EQ(platform::toNative(entries[0].Path), tree.path(c.name));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Filter, ScanExtensions,
    ::testing::Values(ExtensionCase{"upperCaseFile", "PHOTO.JPG", false, "jpg", true},
                      ExtensionCase{"mixedCaseList", "a.JpG", false, "gif|jpg", true},
                      ExtensionCase{"longerExtension", "x.jpeg", false, "jpg", false},
                      ExtensionCase{"directoryByName", "trip.gif", true, "gif", true},
                      ExtensionCase{"allThree", "a.bmp", false, "bmp|jpg|gif", true},
                      ExtensionCase{"otherType", "a.png", false, "bmp|jpg|gif", false},
                      ExtensionCase{"noDot", "jpg", false, "jpg", false},
                      ExtensionCase{"extensionInsideName", "a.jpg.txt", false, "jpg", false},
                      ExtensionCase{"emptyListPassesAll", "notes.txt", false, "", true},
                      // An empty item stands for "." alone.
                      ExtensionCase{"emptyItemMatchesTrailingDot", "a.", false, "jpg|", true},
                      ExtensionCase{"emptyItemNotOtherwise", "a.gif", false, "jpg|", false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ScanFolder, MaskChoosesDirectoriesOrEverything) {
    TempTree tree;
    tree.mkdir("sub");
    tree.write("file.txt");
    tree.symlink("sub", "linkToSub");
    tree.symlink("file.txt", "linkToFile");

    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, 1, kDirectoriesMask, QString()));
    EXPECT_EQ(pathsOf(entries),
              QStringList({tree.rootText() + "/linkToSub", tree.rootText() + "/sub"}));
    for (const FileEntry& entry : entries)
        EXPECT_EQ(entry.Attributes, kDirectoryBit);

    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, 1, kAnyEntryMask, QString()));
    ASSERT_EQ(entries.size(), 4u);
    for (const FileEntry& entry : entries) {
        const bool isDirectory = entry.Path.endsWith("ub");
        EXPECT_EQ(entry.Attributes & kDirectoryBit, isDirectory ? kDirectoryBit : 0) << entry.Path;
        EXPECT_NE(entry.Attributes, 0) << entry.Path;
    }
}

TEST(ScanFolder, SortFlagOtherThanOneKeepsListingOrder) {
    TempTree tree;
    for (const char* name : {"m.jpg", "B.jpg", "a.jpg", "z.jpg", "C.jpg", "k.jpg", "Y.jpg"})
        tree.write(name);
    QStringList listed;
    for (const QString& name : readdirOrder(tree.root()))
        listed << tree.rootText() + "/" + name;
    QStringList sorted = listed;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    ASSERT_NE(listed, sorted) << "the file system happened to list in sorted order";

    for (const std::int16_t flag : {0, 2, -1, 257}) {
        EntryList entries;
        ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, flag, kAnyEntryMask, "jpg"));
        EXPECT_EQ(pathsOf(entries), listed) << "sortFlag " << flag;
    }
    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, 1, kAnyEntryMask, "jpg"));
    EXPECT_EQ(pathsOf(entries), sorted);
}

TEST(ScanFolder, TrailingSeparatorAndSpacesListTheSameFolder) {
    TempTree tree;
    tree.write("one.jpg");
    tree.mkdir("two");
    EntryList plain;
    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), plain, 1, kAnyEntryMask, QString()));
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0].Path, tree.rootText() + "/one.jpg");

    const QString root = tree.rootText();
    for (const QString& spelling : {root + "/", "  " + root, root + "   ", "  " + root + "/  "}) {
        EntryList entries;
        EXPECT_TRUE(ScanFolder(folderRecord(spelling), entries, 1, kAnyEntryMask, QString()));
        EXPECT_EQ(entries, plain) << spelling.toStdString();
    }
    // Only one separator is dropped: the rest stays in every stored path.
    EntryList doubled;
    ASSERT_TRUE(ScanFolder(folderRecord(root + "//"), doubled, 1, kAnyEntryMask, QString()));
    EXPECT_EQ(pathsOf(doubled), QStringList({root + "//one.jpg", root + "//two"}));
}

TEST(ScanFolder, RootListsWithSingleSeparator) {
    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord("/"), entries, 0, kDirectoriesMask, QString()));
    const QStringList paths = pathsOf(entries);
    EXPECT_TRUE(paths.contains("/tmp"));
    for (const QString& path : paths) {
        EXPECT_FALSE(path.startsWith("//")) << path.toStdString();
        EXPECT_FALSE(path == "/." || path == "/..") << path.toStdString();
    }
}

TEST(ScanFolder, NameThatIsNotUtf8IsListedAndOpensAgain) {
    TempTree tree;
    // "写真.jpg" in Shift-JIS.
    const QByteArray name("\x8E\xCA\x90\x5E.jpg");
    tree.write(name, "picture bytes");
    tree.write("plain.jpg");
    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, 1, kAnyEntryMask, "jpg"));
    ASSERT_EQ(entries.size(), 2u);
    const auto odd = std::find_if(entries.begin(), entries.end(),
                                  [](const FileEntry& e) { return !e.Path.endsWith("plain.jpg"); });
    ASSERT_NE(odd, entries.end());
    EXPECT_EQ(platform::toNative(odd->Path), tree.path(name));
    EXPECT_TRUE(platform::forDisplay(odd->Path).contains(QChar(0xFFFD)));

    const int fd = ::open(platform::toNative(odd->Path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char buffer[32] = {};
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(got)), QByteArray("picture bytes"));
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
    const QStringList order = readdirOrder(tree.root());
    const auto firstBad = std::find_if(order.begin(), order.end(),
                                       [](const QString& name) { return name.startsWith("bad"); });
    ASSERT_TRUE(std::any_of(firstBad, order.end(), [](const QString& name) {
        return name.startsWith("good");
    })) << "every unreadable entry came last; the check would prove nothing";

    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord(tree.rootText()), entries, 0, kAnyEntryMask, "jpg"));
    QStringList found = pathsOf(entries);
    std::sort(found.begin(), found.end());
    std::sort(good.begin(), good.end());
    EXPECT_EQ(found, good);
}

TEST(ScanFolder, FolderNameThatIsNotUtf8CanBeScanned) {
    TempTree tree;
    tree.write("\x8E\xCA/inside.gif");
    EntryList entries;
    ASSERT_TRUE(ScanFolder(folderRecord(platform::fromNative(tree.path("\x8E\xCA"))), entries, 0,
                           kAnyEntryMask, "gif"));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(platform::toNative(entries[0].Path), tree.path("\x8E\xCA/inside.gif"));
}

TEST(ScanFolder, StopsAfterTheLastEntryACountCanHoldAndLeavesThemUnsorted) {
    TempTree tree;
    const int made = kMaxEntries + 5;
    for (int i = 0; i < made; ++i)
        tree.write(QByteArray::number((i * 7919) % made) + ".jpg", QByteArray());
    QStringList listed;
    for (const QString& name : readdirOrder(tree.root()))
        listed << tree.rootText() + "/" + name;
    ASSERT_EQ(listed.size(), made);
    listed = listed.mid(0, kMaxEntries);

    RecordingProgressWindow window;
    EntryList entries;
    EXPECT_TRUE(
        ScanFolder(folderRecord(tree.rootText()), entries, 1, kAnyEntryMask, "jpg", &window));
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(kMaxEntries));
    EXPECT_EQ(pathsOf(entries), listed);
    EXPECT_TRUE(window.calls.isEmpty()) << "no sort, so no progress";
}

TEST(ScanFolder, SortedScanDrivesTheProgressWindowToTheEnd) {
    TempTree tree;
    for (int i = 0; i < 11; ++i)
        tree.write(QByteArray::number(10 - i) + ".bmp");
    RecordingProgressWindow window;
    EntryList entries;
    ASSERT_TRUE(
        ScanFolder(folderRecord(tree.rootText()), entries, 1, kAnyEntryMask, "bmp", &window));
    EXPECT_EQ(window.counters().ProgressTotal, 10);
    EXPECT_EQ(window.counters().ProgressShown, 10);
    ASSERT_FALSE(window.calls.isEmpty());
    EXPECT_EQ(window.calls.mid(window.calls.size() - 3),
              QStringList({"text 100%", "width 5175", "repaint"}));
    EXPECT_EQ(entries.front().Path, tree.rootText() + "/0.bmp");
    EXPECT_EQ(entries.back().Path, tree.rootText() + "/9.bmp");
}

// Root reads every folder, so the permission check runs in a child that has become "nobody".
TEST(ScanFolder, FolderThatCannotBeReadGivesFalseAndLeavesEntries) {
    TempTree tree;
    tree.write("locked/a.jpg");
    tree.write("open/a.jpg");
    ASSERT_EQ(::chmod(tree.root().constData(), 0711), 0);
    ASSERT_EQ(::chmod(tree.path("open").constData(), 0755), 0);
    ASSERT_EQ(::chmod(tree.path("locked").constData(), 0), 0);
    if (::geteuid() != 0) {
        EntryList entries = kUntouched;
        EXPECT_FALSE(ScanFolder(folderRecord(platform::fromNative(tree.path("locked"))), entries, 0,
                                kAnyEntryMask, QString()));
        EXPECT_EQ(entries, kUntouched);
        return;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        int code = 0;
        EntryList entries = kUntouched;
        if (ScanFolder(folderRecord(platform::fromNative(tree.path("locked"))), entries, 0,
                       kAnyEntryMask, QString()))
            code |= 1;
        if (!(entries == kUntouched))
            code |= 2;
        // The same user can list the readable sibling: the refusal is the permission's doing.
        EntryList sibling;
        if (!ScanFolder(folderRecord(platform::fromNative(tree.path("open"))), sibling, 0,
                        kAnyEntryMask, QString()) ||
            sibling.size() != 1)
            code |= 4;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 100)
        GTEST_SKIP() << "cannot become user nobody (65534) to test unreadable folders";
    EXPECT_EQ(WEXITSTATUS(status) & 1, 0) << "scan of an unreadable folder gave true";
    EXPECT_EQ(WEXITSTATUS(status) & 2, 0) << "scan of an unreadable folder changed entries";
    EXPECT_EQ(WEXITSTATUS(status) & 4, 0)
        << "the unprivileged child could not list a readable folder";
}

} // namespace
} // namespace orlix
