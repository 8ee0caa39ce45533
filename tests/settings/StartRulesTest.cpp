#include "settings/StartRules.h"
#include "platform/NumberText.h"
#include "platform/TextCollator.h"

#include <gtest/gtest.h>

#include <optional>

namespace orlix {
namespace {

struct IntervalCase {
    const char16_t* text;
    std::optional<std::int16_t> expected;
};

class IntervalText : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalText, AcceptsOnlyWholeSecondsFromOneToSixty) {
    const IntervalCase& c = GetParam();
    EXPECT_EQ(IntervalFromText(QString::fromUtf16(c.text)), c.expected)
        << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, IntervalText,
                         ::testing::Values(
                             // accepted
                             IntervalCase{u"1", 1}, IntervalCase{u"60", 60}, IntervalCase{u"05", 5},
                             IntervalCase{u" 7 ", 7}, IntervalCase{u"+5", 5},
                             IntervalCase{u"   9", 9}, IntervalCase{u"１２", 12},
                             IntervalCase{u"＋３", 3}, IntervalCase{u"\u3000８\u3000", 8},
                             IntervalCase{u"６０", 60}, IntervalCase{u"1２", 12},
                             // rejected
                             IntervalCase{u"", std::nullopt}, IntervalCase{u"   ", std::nullopt},
                             IntervalCase{u"\u3000", std::nullopt},
                             IntervalCase{u"0", std::nullopt}, IntervalCase{u"00", std::nullopt},
                             IntervalCase{u"61", std::nullopt}, IntervalCase{u"６１", std::nullopt},
                             IntervalCase{u"-1", std::nullopt}, IntervalCase{u"－１", std::nullopt},
                             IntervalCase{u"100", std::nullopt}, IntervalCase{u"005", std::nullopt},
                             IntervalCase{u"1.", std::nullopt}, IntervalCase{u"1,", std::nullopt},
                             IntervalCase{u".5", std::nullopt}, IntervalCase{u"abc", std::nullopt},
                             IntervalCase{u"5x", std::nullopt}, IntervalCase{u"+", std::nullopt},
                             IntervalCase{u"5 5", std::nullopt}, IntervalCase{u"\t5", std::nullopt},
                             IntervalCase{u"５．", std::nullopt},
                             IntervalCase{u"٣", std::nullopt}));

struct NumberCase {
    const char16_t* text;
    std::optional<long long> expected;
};

TEST(NumericValue, SignAndDigitsInBothWidths) {
    const NumberCase cases[] = {
        {u"0", 0},
        {u"42", 42},
        {u"-7", -7},
        {u"+7", 7},
        {u"０９", 9},
        {u"－１２", -12},
        {u"＋8", 8},
        {u"", std::nullopt},
        {u"-", std::nullopt},
        {u"--1", std::nullopt},
        {u"1-", std::nullopt},
        {u" 1", std::nullopt},
        {u"1e3", std::nullopt},
        {u"0x1", std::nullopt},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(platform::numericValue(QString::fromUtf16(c.text)), c.expected)
            << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(NumericValue, VeryLongNumbersStayLarge) {
    const auto value = platform::numericValue(QString(40, QLatin1Char('9')));
    ASSERT_TRUE(value.has_value());
    EXPECT_GT(*value, 60);
}

TEST(TrimSpaces, RemovesOrdinaryAndIdeographicSpacesAtBothEndsOnly) {
    const struct {
        const char16_t* text;
        const char16_t* expected;
    } cases[] = {
        {u"  /home/a b  ", u"/home/a b"},
        {u"\u3000/写真\u3000 ", u"/写真"},
        {u"   ", u""},
        {u"", u""},
        {u"\t/x\t", u"\t/x\t"},
        {u"a\u3000b", u"a\u3000b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::trimSpaces(QString::fromUtf16(c.text)), QString::fromUtf16(c.expected));
    }
}

TEST(JoinExtensions, FirstItemStandsForAllNonEmptyOthers) {
    const QStringList items{"*(All)", "bmp", "jpg", "gif"};
    EXPECT_EQ(JoinExtensions(items, 0, "*(All)"), "bmp|jpg|gif");
    EXPECT_EQ(JoinExtensions(items, 3, "gif"), "gif");
    EXPECT_EQ(JoinExtensions(items, 1, "bmp"), "bmp");
    EXPECT_EQ(JoinExtensions({"*(All)", "", "png", "", "tif"}, 0, "*(All)"), "png|tif");
    EXPECT_EQ(JoinExtensions({"*(All)"}, 0, "*(All)"), "");
}

class History : public ::testing::Test {
protected:
    platform::TextCollator collator;

    static QStringList numbered(int count) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list.append(QStringLiteral("/pictures/%1").arg(i));
        return list;
    }
};

TEST_F(History, FullListDropsTheOldest) {
    for (const int before : {kHistoryLimit - 1, kHistoryLimit}) {
        QStringList history = numbered(before);
        const QString oldest = history.last();
        ASSERT_TRUE(RecordInHistory(history, "/new", collator));
        EXPECT_EQ(history.size(), std::min(before + 1, kHistoryLimit));
        EXPECT_EQ(history.first(), "/new");
        EXPECT_EQ(history.at(1), "/pictures/0");
        EXPECT_EQ(history.contains(oldest), before < kHistoryLimit) << before;
    }
}

TEST_F(History, DifferentPathsAreKeptApart) {
    QStringList history{"/photos/a"};
    EXPECT_TRUE(RecordInHistory(history, "/photos/b", collator));
    EXPECT_TRUE(RecordInHistory(history, "/photos/a/", collator));
    EXPECT_EQ(history.size(), 3);
}

} // namespace
} // namespace orlix
