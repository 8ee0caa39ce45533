#include "platform/files/TextCollator.h"

#include "catalogue/TestHelpers.h"

#include <QCollator>
#include <gtest/gtest.h>

#include <string>

namespace orlix::platform {
namespace {

std::string keyOf(const TextCollator& collator, const QString& text) {
    std::string key = "earlier keys|";
    collator.appendSortKey(text, key);
    return key.substr(13);
}

int sign(int order) {
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// The keys come from the platform's collation library directly, the comparison from Qt's
// collator, and ASCII text is folded by a shortcut: every pair of these texts must come out in
// the order first defined by Qt's folding and collator, and the keys with it, so that case is
// ignored (a = A, Ärger = äRGER, ΣΊΣΥΦΟΣ = σίσυφος) but letter order kept (a < B, where code
// points would put every capital first), and kana of one sound are equal only in a real
// collation; under
// collations with contractions, expansions, reordered accents, case-first and Thai vowels,
// and with marks in other than canonical order.
TEST(TextCollator, KeysOrderAsTheComparisonDoes) {
    const QStringList texts =
        QString("|a|A|b|ab|AB|abc|z|Z|1|10|9|-|_| |.|/|写真|しゃしん|シャシン|ー|ゝ|か|é|É|E|"
                "e\u0301|\u0301|a\u0301\u0323|a\u0323\u0301|\u1EA1\u0301|ß|ss|SS|ẞ|aa|å|Å|ch|cz|cs|"
                "ccs|ll|ı|I|i|İ|เก|แก|ő|ö|ø|æ|Ärger|äRGER|ΣΊΣΥΦΟΣ|σίσυφος|"
                "\U0001F600|\uE000|ﬁ|fi|ｊｐｇ|jpg|.JPG|Ǆ|ǅ|ǆ|\u2126|\u03A9|\u03C9|\u212A|k|ς|σ|ſ")
            .split('|');
    QStringList all = texts;
    all << QString(QChar(0xDC8E)) << "a" + QString(QChar(0xDC8E)) << QString(QChar(0xDCFF)) + "z";
    for (const char* locale : {"C", "en_US", "ja_JP", "fr_CA", "th_TH", "da_DK", "vi_VN", "hu_HU",
                               "cs_CZ", "tr_TR", "de_DE", "sv_SE", "zh_CN", "ko_KR", "es_ES"}) {
        SCOPED_TRACE(locale);
        test::ScopedDefaultLocale scoped(locale);
        const TextCollator collator;
        // The order as first defined: Qt's case folding, then Qt's collator (code points of
        // UTF-8 under C), against the class's own folding, comparison and keys.
        QCollator qt{QLocale()};
        qt.setCaseSensitivity(Qt::CaseInsensitive);
        const auto defined = [&qt, &locale](const QString& a, const QString& b) {
            const QString foldedA = a.toCaseFolded(), foldedB = b.toCaseFolded();
            return sign(locale[0] == 'C' ? foldedA.toUtf8().compare(foldedB.toUtf8())
                                         : qt.compare(foldedA, foldedB));
        };
        std::vector<std::string> keys;
        for (const QString& text : all)
            keys.push_back(keyOf(collator, text));
        for (int i = 0; i < all.size(); ++i) {
            for (int j = 0; j < all.size(); ++j) {
                const int want = defined(all[i], all[j]);
                ASSERT_EQ(collator.compare(all[i], all[j]), want)
                    << all[i].toStdString() << " / " << all[j].toStdString();
                ASSERT_EQ(sign(keys[i].compare(keys[j])), want)
                    << all[i].toStdString() << " / " << all[j].toStdString();
            }
        }
    }
}

// A clone serves another thread: it keeps the original's locale, whatever the default is now.
TEST(TextCollator, CloneKeepsTheLocale) {
    test::ScopedDefaultLocale danish("da_DK");
    const TextCollator collator;
    const QStringList texts = {"aa", "z", "å", "ab"};
    test::ScopedDefaultLocale english("en_US");
    const std::unique_ptr<TextCollator> clone = collator.clone();
    const TextCollator fresh;
    for (const QString& text : texts)
        EXPECT_EQ(keyOf(*clone, text), keyOf(collator, text)) << text.toStdString();
    // Danish puts "aa" after "z"; English does not. Otherwise the check above proves nothing.
    EXPECT_GT(collator.compare("aa", "z"), 0);
    EXPECT_LT(fresh.compare("aa", "z"), 0);
}

} // namespace
} // namespace orlix::platform
