// What the settings window decides without a window: where its controls go, what Start takes
// and what the path box remembers.

#include "core/Settings.h"
#include "platform/files/TextCollator.h"
#include "settings/PathHistory.h"
#include "settings/SettingsLayout.h"
#include "settings/StartRules.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace orlix {
namespace {

// A caption may run over its box's edge; nothing else overlaps.
TEST(SettingsLayout, ControlsLieInsideTheWindowApartAndTabVisitsEveryOneButTheLabels) {
    const QRect client(QPoint(0, 0), kSettingsClientTwips);
    std::multiset<std::string> tabbed(std::begin(kSettingsTabOrder), std::end(kSettingsTabOrder));
    for (const ControlPlace& place : kSettingsControls) {
        SCOPED_TRACE(place.name);
        EXPECT_TRUE(client.contains(place.twips));
        EXPECT_EQ(tabbed.count(place.name), place.kind == ControlKind::Label ? 0u : 1u);
        tabbed.erase(place.name);
        for (const ControlPlace& other : kSettingsControls) {
            if (&other != &place && place.kind != ControlKind::Label &&
                other.kind != ControlKind::Label) {
                EXPECT_FALSE(place.twips.intersects(other.twips)) << other.name;
            }
        }
    }
    EXPECT_TRUE(tabbed.empty()) << "tabbed to a control the window does not have";
}

TEST(StartRules, IntervalIsAWholeNumberOfOneToSixtyAndTheOtherSevenAreTakenAnyway) {
    test::TempTree tree;
    tree.write("picture.bmp");
    // Interval texts and the seconds taken (0: rejected, a whole number from 1 to 60 only).
    const std::pair<const char16_t*, int> cases[] = {
        {u"1", 1},   {u"60", 60},   {u"05", 5},     {u" 7 ", 7},
        {u"+5", 5},  {u"１２", 12}, {u"６０", 60},  {u"\u3000８\u3000", 8},
        {u"", 0},    {u"   ", 0},   {u"\u3000", 0}, {u"0", 0},
        {u"61", 0},  {u"-1", 0},    {u"100", 0},    {u"005", 0},
        {u"1.", 0},  {u"1,", 0},    {u"abc", 0},    {u"5x", 0},
        {u"5 5", 0}, {u"６１", 0},
    };
    for (const auto& [typed, value] : cases) {
        SCOPED_TRACE(QString::fromUtf16(typed).toStdString());
        StartInputs inputs;
        inputs.path = tree.rootText();
        inputs.interval = QString::fromUtf16(typed);
        inputs.extensionItems = QStringList{"*(All)", "bmp", "jpg", "gif"};
        inputs.extensionIndex = 2;
        inputs.extensionText = "jpg";
        inputs.loop = inputs.subFolder = inputs.sort = inputs.realSize = 1;
        SettingsRecord settings;
        settings.Interval = 33;
        settings.Auto = settings.Guide = 1;
        const StartChecks checks = TakeStartInputs(inputs, settings);
        EXPECT_EQ(checks.errors, value ? kNoInputError : kIntervalError);
        EXPECT_EQ(settings.Interval, value ? value : 33);
        EXPECT_EQ(settings.Path, tree.rootText());
        EXPECT_EQ(settings.ExtList, "jpg");
        EXPECT_EQ((std::vector<int>{settings.Loop, settings.SubFolder, settings.Sort,
                                    settings.RealSize, settings.Auto, settings.Guide}),
                  (std::vector<int>{1, 1, 1, 1, 0, 0}));
    }
}

TEST(PathHistory, KeepsFirstSpellingsNeverMovesAnEntryAndHoldsThirtyTwo) {
    const platform::TextCollator collator;
    QStringList history;
    const std::pair<QString, bool> recorded[] = {
        {"/srv/Trip", true}, {"/srv/trip", false}, {"", true}, {"", false}, {"/srv/Trip", false}};
    for (const auto& [path, added] : recorded)
        EXPECT_EQ(RecordInHistory(history, path, collator), added) << path.toStdString();
    EXPECT_EQ(history, (QStringList{"", "/srv/Trip"}));
    for (int i = 0; i < 31; ++i)
        EXPECT_TRUE(RecordInHistory(history, QStringLiteral("/srv/%1").arg(i), collator));
    ASSERT_EQ(history.size(), 32);
    EXPECT_EQ(history.first(), "/srv/30");
    EXPECT_EQ(history.last(), "");
}

} // namespace
} // namespace orlix
