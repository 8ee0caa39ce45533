#include "platform/files/FolderListing.h"

#include "catalogue/TestHelpers.h"
#include "platform/files/NativePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

// Each name listed with the word from the listing and from readAttributeWord ("-": unreadable).
TEST(FolderListing, NamesAndAttributeWords) {
    test::TempTree tree;
    // "\x82\xA0" is not UTF-8 (Shift-JIS).
    tree.make("a.jpg sub/ .hidden.jpg .config/ \x82\xA0.gif linkToSub>sub linkToFile>a.jpg "
              "dangling>gone");
    FolderListing listing;
    ASSERT_TRUE(listing.open(tree.rootText()));
    const auto shown = [](bool read, const std::int16_t& word) {
        return read ? QString::number(word) : QString("-");
    };
    QStringList listed;
    for (QString name = listing.next(); !name.isEmpty(); name = listing.next()) {
        std::int16_t word = 0, direct = 0;
        listed << name + ' ' + shown(listing.lastAttributeWord(word), word) + ' ' +
                      shown(readAttributeWord(tree.rootText() + '/' + name, direct), direct);
    }
    EXPECT_FALSE(listing.failed());
    // The same names, each joined to a prefix.
    FolderListing again;
    ASSERT_TRUE(again.open(tree.rootText()));
    QStringList names;
    for (const QString& line : listed)
        names << line.section(' ', 0, 0);
    const QString prefix = tree.rootText() + '/';
    for (const QString& name : names)
        EXPECT_EQ(again.nextPath(prefix), prefix + name);
    EXPECT_TRUE(again.nextPath(prefix).isEmpty());
    listed.sort();
    const QStringList expected = {
        ". 16 16",          ".. 16 16",        "a.jpg 32 32", "dangling - -",
        "linkToFile 32 32", "linkToSub 16 16", "sub 16 16",   fromNative("\x82\xA0.gif 32 32")};
    EXPECT_EQ(listed, expected);
}

} // namespace
} // namespace orlix::platform
