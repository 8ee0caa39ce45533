#include "platform/TextCollator.h"

#include "catalogue/TestHelpers.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

TEST(TextCollator, IgnoresCaseButKeepsLetterOrderAndFollowsTheLocale) {
    for (const char* locale : {"C", "en_US.UTF-8", "ja_JP.UTF-8"}) {
        SCOPED_TRACE(locale);
        test::ScopedDefaultLocale scoped(locale);
        const TextCollator collator;
        const std::pair<QString, QString> pairs[] = {
            {"a", "A"}, {".jpg", ".JPG"}, {"Ärger", "äRGER"}, {"ΣΊΣΥΦΟΣ", "σίσυφος"}};
        for (const auto& [a, b] : pairs) {
            EXPECT_EQ(collator.compare(a, b), 0) << a.toStdString();
            EXPECT_EQ(collator.sortKey(a).compare(collator.sortKey(b)), 0) << a.toStdString();
        }
        // Code-point order would put every capital before every small letter.
        EXPECT_LT(collator.compare("a", "B"), 0);
        EXPECT_GT(collator.compare("b", "A"), 0);
        EXPECT_LT(collator.sortKey("a").compare(collator.sortKey("B")), 0);
        EXPECT_LT(collator.sortKey("AB").compare(collator.sortKey("abc")), 0);
        // Kana of one sound differ past the level compared, but only in a real collation.
        EXPECT_EQ(collator.compare("しゃしん", "シャシン") == 0, locale[0] != 'C');
    }
}

} // namespace
} // namespace orlix::platform
