#include "catalogue/SortEntries.h"

#include "catalogue/ExchangeSort.h"
#include "catalogue/ProgressDisplay.h"
#include "catalogue/TestHelpers.h"
#include "platform/TextCollator.h"

#include <gtest/gtest.h>

#include <random>

namespace orlix {
namespace {

using test::entriesOf;
using test::pathsOf;
using test::RecordingProgressWindow;
using test::ScopedDefaultLocale;

// Each progress update is three calls; this gives them as "text width" pairs.
QStringList updatesOf(const QStringList& calls) {
    QStringList updates;
    for (int i = 0; i + 2 < calls.size(); i += 3) {
        EXPECT_TRUE(calls[i].startsWith("text ") && calls[i + 1].startsWith("width ") &&
                    calls[i + 2] == "repaint")
            << calls.mid(i, 3).join(" / ").toStdString();
        updates << calls[i].mid(5) + " " + calls[i + 1].mid(6);
    }
    EXPECT_EQ(calls.size() % 3, 0);
    return updates;
}

EntryList numberedEntries(int count) {
    EntryList entries;
    for (int i = count - 1; i >= 0; --i)
        entries.push_back(
            FileEntry{QStringLiteral("/p/%1.jpg").arg(i, 5, 10, QLatin1Char('0')), 32});
    return entries;
}

struct ScheduleCase {
    int entries;
    QStringList updates; // "percentage fill-width", in the order the window receives them
};

class ProgressOfASort : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(ProgressOfASort, ReachesTheWindowAtTheScheduledPasses) {
    const ScheduleCase& c = GetParam();
    RecordingProgressWindow window;
    ResetProgress(window);
    window.calls.clear();
    EntryList entries = numberedEntries(c.entries);
    SortEntries(entries, kSortKeyLength, &window);
    EXPECT_EQ(updatesOf(window.calls), c.updates);
    EXPECT_EQ(window.counters().ProgressTotal, c.entries - 1);
    EXPECT_EQ(pathsOf(entries).first(), "/p/00000.jpg");
}

INSTANTIATE_TEST_SUITE_P(
    Schedule, ProgressOfASort,
    ::testing::Values(
        // One entry: the total is 0 and the freshly reset display stays at 0%.
        ScheduleCase{1, {}}, ScheduleCase{2, {"100% 5175"}},
        ScheduleCase{5, {"25% 1293", "50% 2587", "75% 3881", "100% 5175"}},
        ScheduleCase{11,
                     {"20% 1035", "30% 1552", "40% 2070", "50% 2587", "60% 3105", "70% 3622",
                      "80% 4140", "90% 4657", "100% 5175"}},
        ScheduleCase{1001,
                     {"10% 522", "20% 1040", "30% 1557", "40% 2075", "50% 2592", "60% 3110",
                      "70% 3627", "80% 4145", "90% 4662", "100% 5175"}}),
    [](const auto& info) { return std::to_string(info.param.entries) + "entries"; });

TEST(ShowProgress, CutsToTheTotalAndSkipsTheValueOnDisplay) {
    RecordingProgressWindow window(300);
    ResetProgress(window);
    EXPECT_EQ(window.calls, QStringList({"text 0%", "width 0"}));
    window.calls.clear();
    window.counters().ProgressTotal = 7;
    ShowProgress(window, 0);
    ShowProgress(window, 3);
    ShowProgress(window, 3);
    ShowProgress(window, 50);
    ShowProgress(window, 7);
    EXPECT_EQ(updatesOf(window.calls), QStringList({"42% 128", "100% 300"}));
    EXPECT_EQ(window.counters().ProgressShown, 7);
}

TEST(ShowProgress, ZeroTotalWithStaleValueDoesNotDivide) {
    // A window that showed an earlier sort and was not reset, then a one-entry sort.
    RecordingProgressWindow window;
    window.counters().ProgressShown = 9;
    EntryList one = entriesOf({"/only.jpg"});
    SortEntries(one, kSortKeyLength, &window);
    EXPECT_TRUE(window.calls.isEmpty());
    EXPECT_EQ(window.counters().ProgressTotal, 0);
}

// Orders that hold under every locale the collator is used with.
struct OrderCase {
    const char* label;
    QStringList input;
    QStringList sorted;
    std::int16_t keyLength = kSortKeyLength;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.label;
}

class SortOrder : public ::testing::TestWithParam<std::tuple<OrderCase, const char*>> {};

TEST_P(SortOrder, IsAscendingAndStable) {
    const auto& [c, localeName] = GetParam();
    ScopedDefaultLocale locale{QLocale(QString::fromLatin1(localeName))};
    const platform::TextCollator collator;
    EntryList entries = entriesOf(c.input);
    SortEntries(entries, c.keyLength, nullptr, collator);
    EXPECT_EQ(pathsOf(entries), c.sorted);
    EntryList reference = entriesOf(c.input);
    SortEntriesByExchange(reference, c.keyLength, nullptr, collator);
    EXPECT_EQ(pathsOf(reference), c.sorted);
}

// With the leading "/" exactly as long as the key.
const QString kLong = QString(kSortKeyLength - 1, QLatin1Char('d'));

INSTANTIATE_TEST_SUITE_P(
    Orders, SortOrder,
    ::testing::Combine(
        ::testing::Values(
            OrderCase{"caseIgnored",
                      {"/a/b.jpg", "/a/C.jpg", "/a/A.jpg"},
                      {"/a/A.jpg", "/a/b.jpg", "/a/C.jpg"}},
            OrderCase{"equalButForCaseKeepOrder",
                      {"/a/B.jpg", "/a/b.jpg", "/a/A.jpg", "/a/B.JPG"},
                      {"/a/A.jpg", "/a/B.jpg", "/a/b.jpg", "/a/B.JPG"}},
            OrderCase{"prefixFirst",
                      {"/a/abc", "/a/ab", "/a/abcd", "/a/a"},
                      {"/a/a", "/a/ab", "/a/abc", "/a/abcd"}},
            // Beyond the key length nothing counts: these keep their order.
            OrderCase{"sameLeadingCharacters",
                      {"/" + kLong + "zzzzzzz", "/" + kLong + "aaaaaaa", "/" + kLong + "mmmmmmm"},
                      {"/" + kLong + "zzzzzzz", "/" + kLong + "aaaaaaa", "/" + kLong + "mmmmmmm"}},
            OrderCase{"shortKey", {"/x/2", "/x/1", "/w/9"}, {"/w/9", "/x/2", "/x/1"}, 3},
            OrderCase{"zeroKeyKeepsOrder", {"/b", "/a", "/c"}, {"/b", "/a", "/c"}, 0}),
        ::testing::ValuesIn(test::localesUnderTest())),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).label) + "_" + std::get<1>(info.param);
    });

// Paths built from pieces that tempt a sort to go wrong: case pairs, equal keys, prefixes,
// punctuation, digits, combining marks, contractions and context-dependent letters of several
// languages, a kept byte of a non-UTF-8 name, characters beyond and at the end of the BMP.
QString randomPath(std::mt19937& random, const QString& folder) {
    static const QStringList pieces = {"a",
                                       "A",
                                       "b",
                                       "B",
                                       "ab",
                                       "AB",
                                       "z",
                                       "1",
                                       "10",
                                       "9",
                                       "-",
                                       "_",
                                       " ",
                                       ".",
                                       "/",
                                       "写真",
                                       "しゃしん",
                                       "ー",
                                       "ゝ",
                                       "か",
                                       "é",
                                       "E",
                                       "e\u0301",
                                       "\u0301",
                                       "ß",
                                       "ss",
                                       "aa",
                                       "å",
                                       "ch",
                                       "เก",
                                       "ő",
                                       QString(QChar(0xDC8E)),
                                       QString::fromUtf8("\xF0\x9F\x98\x80"),
                                       QString::fromUtf8("\xEE\x80\x80")};
    std::uniform_int_distribution<int> count(0, 4);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pieces.size()) - 1);
    QString path = folder;
    for (int i = count(random); i >= 0; --i)
        path += pieces[pick(random)];
    return path;
}

// Locales whose collation has something peculiar: French accents compared from the end
// (Canada), Thai vowels reordered, Danish "aa", Japanese kana marks that depend on the letter
// before them, Vietnamese stacked accents.
const char* const kEquivalenceLocales[] = {"C",     "en_US", "ja_JP", "fr_CA", "th_TH",
                                           "da_DK", "vi_VN", "de_DE", "zh_CN"};

class SortMatchesExchangePasses : public ::testing::TestWithParam<const char*> {};

TEST_P(SortMatchesExchangePasses, InOrderAndProgress) {
    ScopedDefaultLocale locale{QLocale(QString::fromLatin1(GetParam()))};
    const platform::TextCollator collator;
    // What the paths share: a scanned folder, a folder and part of a name (the keys must not
    // be cut inside a name), or nothing.
    const QStringList folders = {"/pics/", "/pics/か", "/写真/e", "", "/pics/sub/a"};
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> size(1, 70);
    std::uniform_int_distribution<int> keyLength(4, 12);
    for (int trial = 0; trial < 60; ++trial) {
        const QString& folder = folders[trial % folders.size()];
        EntryList input;
        for (int i = size(random); i > 0; --i)
            input.push_back(
                FileEntry{randomPath(random, folder), static_cast<std::int16_t>(i % 2 ? 16 : 32)});
        // Short keys now and then, so that many keys are equal and stability shows.
        const std::int16_t length =
            trial % 3 == 0 ? static_cast<std::int16_t>(keyLength(random)) : kSortKeyLength;

        EntryList fast = input;
        RecordingProgressWindow fastWindow;
        ResetProgress(fastWindow);
        SortEntries(fast, length, &fastWindow, collator);

        EntryList reference = input;
        RecordingProgressWindow referenceWindow;
        ResetProgress(referenceWindow);
        SortEntriesByExchange(reference, length, &referenceWindow, collator);

        ASSERT_EQ(pathsOf(fast), pathsOf(reference))
            << "trial " << trial << " size " << input.size() << " key " << length;
        ASSERT_EQ(fast, reference) << "trial " << trial;
        ASSERT_EQ(fastWindow.calls, referenceWindow.calls) << "trial " << trial;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, SortMatchesExchangePasses,
                         ::testing::ValuesIn(kEquivalenceLocales),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
} // namespace orlix
