#include "catalogue/SortEntries.h"

#include "catalogue/ExchangeSort.h"
#include "catalogue/ProgressDisplay.h"
#include "catalogue/TestHelpers.h"
#include "platform/files/TextCollator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace orlix {
namespace {

using test::pathsOf;
using test::RecordingProgressWindow;
using test::ScopedDefaultLocale;

TEST(SortEntries, ProgressReachesTheWindowAtTheScheduledPasses) {
    const std::pair<int, const char*> cases[] = {
        {1, ""}, // the total is 0 and the fresh display stays at 0%
        {2, "100% 5175;"},
        {11, "20% 1035;30% 1552;40% 2070;50% 2587;60% 3105;70% 3622;80% 4140;90% 4657;100% 5175;"},
        {1001, "10% 522;20% 1040;30% 1557;40% 2075;50% 2592;60% 3110;70% 3627;80% 4145;90% 4662;"
               "100% 5175;"}};
    for (const auto& [count, log] : cases) {
        SCOPED_TRACE(count);
        EntryList entries;
        for (int i = count - 1; i >= 0; --i)
            entries.push_back(FileEntry{QString("/p/%1.jpg").arg(i, 5, 10, QLatin1Char('0')), 32});
        RecordingProgressWindow window;
        SortEntries(entries, kSortKeyLength, &window);
        EXPECT_EQ(window.log, log);
    }
}

// Random paths from pieces that tempt a sort to go wrong (case pairs, prefixes, punctuation,
// digits, combining marks, contractions, context-dependent letters, a kept byte of a non-UTF-8
// name, characters beyond and at the end of the BMP), under collations with peculiarities. The
// order and the progress are held against two references: the exchange passes, on short lists
// (they would take too long on long ones), and on every list a stable sort by the same
// comparison (what the exchange passes amount to) with the progress schedule driven pass by
// pass. Long lists have their keys made by two threads and sorted in two shares, then merged.
// Short keys now and then make runs of equal keys (that cross the shares), where stability
// could break.
TEST(SortEntries, OrdersAndReportsProgressAsTheExchangePassesAndAStableSortDo) {
    QStringList pieces =
        QString("a|A|b|B|ab|AB|z|1|10|9|-|_| |.|/|写真|しゃしん|ー|ゝ|か|é|E|e\u0301|"
                "\u0301|ß|ss|aa|å|ch|เก|ő|\U0001F600|\uE000")
            .split('|');
    pieces << QChar(0xDC8E);
    // What the paths share: a folder, a folder and part of a name, or nothing.
    const QStringList folders = {"/pics/", "/pics/か", "/写真/e", "", "/pics/sub/a"};
    constexpr int kShortTrials = 60, kShortest = 70;
    for (const char* locale : {"C", "en_US", "ja_JP", "fr_CA", "th_TH", "da_DK", "vi_VN"}) {
        ScopedDefaultLocale scoped(locale);
        const platform::TextCollator collator;
        std::mt19937 random(20240601);
        for (int trial = 0; trial < kShortTrials + 4; ++trial) {
            const int count = trial < kShortTrials       ? int(random() % kShortest) + 1
                              : trial < kShortTrials + 2 ? 512
                                                         : 3001;
            EntryList input;
            for (int i = count; i > 0; --i) {
                QString path = folders[trial % folders.size()];
                for (int j = random() % 5; j >= 0; --j)
                    path += pieces[random() % pieces.size()];
                input.push_back(FileEntry{path, static_cast<std::int16_t>(i % 2 ? 16 : 32)});
            }
            const auto length =
                static_cast<std::int16_t>(trial % 3 == 0 ? 4 + random() % 9 : kSortKeyLength);
            SCOPED_TRACE(testing::Message() << locale << " trial " << trial << ", " << count
                                            << " paths, key " << length);
            EntryList sorted = input, stable = input;
            RecordingProgressWindow window, stableWindow;
            SortEntries(sorted, length, &window, collator);
            std::stable_sort(
                stable.begin(), stable.end(), [&](const FileEntry& a, const FileEntry& b) {
                    return collator.compare(a.Path.left(length), b.Path.left(length)) < 0;
                });
            ProgressSchedule schedule(&stableWindow, count - 1);
            for (int pass = 0; pass < count; ++pass)
                schedule.afterPass(pass);
            schedule.finish();
            ASSERT_EQ(sorted, stable);
            ASSERT_EQ(window.log, stableWindow.log);
            if (count <= kShortest) {
                EntryList exchanged = input;
                RecordingProgressWindow exchangeWindow;
                SortEntriesByExchange(exchanged, length, &exchangeWindow, collator);
                ASSERT_EQ(sorted, exchanged);
                ASSERT_EQ(window.log, exchangeWindow.log);
            }
        }
    }
}

} // namespace
} // namespace orlix
