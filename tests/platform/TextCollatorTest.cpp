#include "platform/TextCollator.h"

#include "catalogue/TestHelpers.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

using test::ScopedDefaultLocale;

int sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

class CollatorUnderLocale : public ::testing::TestWithParam<const char*> {
protected:
    ScopedDefaultLocale locale_{QLocale(QString::fromLatin1(GetParam()))};
};

TEST_P(CollatorUnderLocale, IgnoresCaseInCompareAndKeys) {
    const TextCollator collator;
    const QStringList pairs[] = {{"a", "A"},
                                 {".jpg", ".JPG"},
                                 {"Photo", "pHOTO"},
                                 {"Ärger", "äRGER"},
                                 {"ΣΊΣΥΦΟΣ", "σίσυφος"}};
    for (const QStringList& pair : pairs) {
        EXPECT_EQ(collator.compare(pair[0], pair[1]), 0) << pair.join(" ").toStdString();
        EXPECT_TRUE(collator.equalIgnoringCase(pair[0], pair[1]));
        EXPECT_EQ(collator.sortKey(pair[0]).compare(collator.sortKey(pair[1])), 0)
            << pair.join(" ").toStdString();
    }
}

TEST_P(CollatorUnderLocale, CaseDoesNotReorderLetters) {
    const TextCollator collator;
    // Code-point order would put every capital before every small letter.
    EXPECT_LT(collator.compare("a", "B"), 0);
    EXPECT_GT(collator.compare("b", "A"), 0);
    EXPECT_LT(collator.sortKey("a").compare(collator.sortKey("B")), 0);
    EXPECT_LT(collator.compare("ab", "abc"), 0);
    EXPECT_LT(collator.sortKey("AB").compare(collator.sortKey("abc")), 0);
    EXPECT_NE(collator.compare(".jpg", ".jpeg"), 0);
}

// Keys and comparisons must agree, or the fast sort and the exchange passes part ways.
TEST_P(CollatorUnderLocale, KeysOrderAsComparisonsDo) {
    const TextCollator collator;
    // Punctuation, digits, accents, ß, Japanese, a fullwidth letter, a character beyond the
    // BMP and one at the end of it, and kept bytes of non-UTF-8 names (lone surrogates).
    QStringList texts =
        QString::fromUtf8("|a|A|a b|ab|a-b|a_b|a.b|a/b|a10|a9|é|e|F|ß|ss|写真|しゃしん|"
                          "シャシン|ｊ|\xF0\x9F\x98\x80|\xEE\x80\x80")
            .split('|');
    texts << QString(QChar(0xDC8E)) << QString(QChar(0xDC8F)) << "x" + QString(QChar(0xDC8E));
    for (const QString& a : texts) {
        for (const QString& b : texts) {
            const int byCompare = collator.compare(a, b);
            EXPECT_EQ(byCompare, -collator.compare(b, a));
            EXPECT_EQ(sign(collator.sortKey(a).compare(collator.sortKey(b))), byCompare)
                << a.toStdString() << " vs " << b.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, CollatorUnderLocale,
                         ::testing::ValuesIn(test::localesUnderTest()),
                         [](const auto& info) { return std::string(info.param); });

TEST(TextCollator, FollowsTheDefaultLocale) {
    // Under a Japanese collation hiragana and katakana of one sound differ only past the
    // secondary level; under the C locale they are far apart code points.
    {
        ScopedDefaultLocale locale{QLocale("ja_JP")};
        EXPECT_EQ(TextCollator().compare("しゃしん", "シャシン"), 0);
    }
    {
        ScopedDefaultLocale locale{QLocale::c()};
        EXPECT_NE(TextCollator().compare("しゃしん", "シャシン"), 0);
    }
}

} // namespace
} // namespace orlix::platform
