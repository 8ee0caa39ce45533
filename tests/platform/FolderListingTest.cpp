#include "platform/FolderListing.h"

#include "catalogue/TestHelpers.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orlix::platform {
namespace {

using test::TempTree;

QStringList everyName(FolderListing& listing) {
    QStringList names;
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next())
        names << name;
    return names;
}

TEST(FolderListing, ListsDotsAndVisibleNamesButNoHiddenOnes) {
    TempTree tree;
    tree.write("a.jpg");
    tree.mkdir("sub");
    tree.write(".hidden.jpg");
    tree.mkdir(".config");
    tree.write("..double-dot-name");
    tree.write("\x82\xA0.gif"); // Shift-JIS hiragana a

    FolderListing listing;
    ASSERT_TRUE(listing.open(tree.rootText()));
    QStringList names = everyName(listing);
    EXPECT_FALSE(listing.failed());
    std::sort(names.begin(), names.end());
    QStringList expected = {".", "..", "a.jpg", "sub", fromNative("\x82\xA0.gif")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(listing.next().isEmpty()) << "a finished listing stays finished";
}

TEST(FolderListing, OpenFailsOnWhatIsNotAReadableFolder) {
    TempTree tree;
    tree.write("file");
    FolderListing listing;
    for (const QByteArray& path : {tree.path("missing"), tree.path("file"), QByteArray()}) {
        EXPECT_FALSE(listing.open(fromNative(path))) << path.constData();
        EXPECT_TRUE(listing.next().isEmpty());
        EXPECT_FALSE(listing.failed());
    }
}

struct AttributeCase {
    const char* label;
    QByteArray path; // below the tree
    bool readable;
    std::int16_t word;
};

class AttributeWord : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(AttributeWord, FollowsLinks) {
    TempTree tree;
    tree.write("file.jpg");
    tree.mkdir("folder");
    tree.write("\x8E\xCA.jpg");
    tree.symlink("folder", "linkToFolder");
    tree.symlink("file.jpg", "linkToFile");
    tree.symlink("gone", "dangling");
    tree.symlink("loop", "loop");
    const AttributeCase& c = GetParam();
    std::int16_t word = -1;
    EXPECT_EQ(readAttributeWord(fromNative(tree.path(c.path)), word), c.readable);
    if (c.readable) {
        EXPECT_EQ(word, c.word);
        EXPECT_NE(word & 32767, 0);
    }

    // The same word while listing, for the entry just returned.
    FolderListing listing;
    ASSERT_TRUE(listing.open(tree.rootText()));
    bool listed = false;
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next()) {
        if (toNative(name) != c.path)
            continue;
        listed = true;
        std::int16_t fromListing = -1;
        EXPECT_EQ(listing.lastAttributeWord(fromListing), c.readable);
        if (c.readable) {
            EXPECT_EQ(fromListing, c.word);
        }
    }
    EXPECT_EQ(listed, c.path != "missing");
}

TEST(FolderListing, NoAttributeWordBeforeTheFirstNameOrAfterTheLast) {
    TempTree tree;
    tree.write("a");
    FolderListing listing;
    std::int16_t word = 0;
    EXPECT_FALSE(listing.lastAttributeWord(word));
    ASSERT_TRUE(listing.open(tree.rootText()));
    EXPECT_FALSE(listing.lastAttributeWord(word));
    everyName(listing);
    EXPECT_FALSE(listing.lastAttributeWord(word));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AttributeWord,
    ::testing::Values(AttributeCase{"file", "file.jpg", true, kAttrArchive},
                      AttributeCase{"folder", "folder", true, kAttrDirectory},
                      AttributeCase{"notUtf8", "\x8E\xCA.jpg", true, kAttrArchive},
                      AttributeCase{"linkToFolder", "linkToFolder", true, kAttrDirectory},
                      AttributeCase{"linkToFile", "linkToFile", true, kAttrArchive},
                      AttributeCase{"dangling", "dangling", false, 0},
                      AttributeCase{"loop", "loop", false, 0},
                      AttributeCase{"missing", "missing", false, 0}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace orlix::platform
