#include "settings/FormSetting.h"
#include "app/Settings.h"
#include "platform/Desktop.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "settings/TipText.h"
#include "settings/UriList.h"
#include "support/TempTree.h"
#include "viewer/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orlix {
namespace {

const QString kFolderMessage = QStringLiteral(
    "Pathで指定したドライブやフォルダ名に誤りがあるか、それらが使用できない状態です。");
const QString kIntervalMessage = QStringLiteral("Intervalで指定した値に誤りがあります。");

// Records the boxes that would have been shown, with what the user could see at that moment.
class RecordingMessages : public platform::MessageService {
public:
    struct Shown {
        QString title;
        QString text;
        bool busyPointer;
    };
    void warning(QWidget*, const QString& title, const QString& text) override {
        shown.push_back({title, text, QGuiApplication::overrideCursor() != nullptr});
    }
    QStringList texts() const {
        QStringList list;
        for (const Shown& s : shown)
            list.append(s.text);
        return list;
    }
    std::vector<Shown> shown;
};

class FormSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program ends through the injected function; Qt must not end it on its own.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        Settings = SettingsRecord{};
        form = std::make_unique<FormSetting>(messages, [this] { ++endCalls; });
        tree.write("picture.bmp");
        goodFolder = tree.rootText();
    }

    void TearDown() override {
        delete form->viewer();
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <typename T> T* control(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox* path() const { return control<QComboBox>("CmbPath"); }
    QComboBox* ext() const { return control<QComboBox>("CmbExt"); }
    QLineEdit* interval() const { return control<QLineEdit>("TxtInterval"); }
    QCheckBox* check(const char* name) const { return control<QCheckBox>(name); }

    QStringList history() const {
        QStringList items;
        for (int i = 0; i < path()->count(); ++i)
            items.append(path()->itemText(i));
        return items;
    }

    void start(const QString& pathText, const QString& intervalText) {
        path()->setEditText(pathText);
        interval()->setText(intervalText);
        messages.shown.clear();
        form->CmdStart_Click();
    }

    // Drags `data` onto `target` and drops it there, as the drag machinery would.
    bool drop(QWidget* target, const QMimeData& data) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    }

    test::TempTree tree;
    QString goodFolder;
    RecordingMessages messages;
    int endCalls = 0;
    std::unique_ptr<FormSetting> form;
};

TEST_F(FormSettingTest, OpensWithTheInitialChoices) {
    EXPECT_EQ(form->windowTitle(), "Orlix");
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_EQ(path()->currentText(), platform::executableFolder());
    EXPECT_EQ(path()->count(), 0);
    EXPECT_EQ(ext()->currentIndex(), 0);
    EXPECT_EQ(ext()->currentText(), "*(All)");
    EXPECT_EQ(interval()->text(), "1");
    const struct {
        const char* name;
        bool on;
    } checks[] = {{"ChkLoop", false},     {"ChkSubFld", false}, {"ChkSort", false},
                  {"ChkRealSize", false}, {"ChkAuto", true},    {"ChkGuide", true}};
    for (const auto& c : checks)
        EXPECT_EQ(check(c.name)->isChecked(), c.on) << c.name;
}

TEST_F(FormSettingTest, LaysOutEveryControlAtFifteenTwipsAPixel) {
    EXPECT_EQ(form->size(), QSize(378, 136));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    const struct {
        const char* name;
        QRect twips;
        const char* caption;
    } layout[] = {
        {"LabPath", {180, 240, 495, 255}, "Path"},
        {"CmbPath", {660, 180, 4875, 300}, nullptr},
        {"ChkLoop", {120, 720, 735, 255}, "Loop"},
        {"ChkSubFld", {1740, 720, 1155, 255}, "SubFolder"},
        {"Label3", {4020, 780, 375, 255}, "Ext."},
        {"CmbExt", {4440, 720, 1095, 300}, nullptr},
        {"ChkSort", {120, 1140, 735, 255}, "Sort"},
        {"ChkRealSize", {1860, 1140, 1035, 255}, "RealSize"},
        {"Label2", {3540, 1200, 1635, 255}, "Interval (1-60sec.)"},
        {"TxtInterval", {5160, 1140, 375, 300}, nullptr},
        {"ChkAuto", {120, 1560, 735, 255}, "Auto"},
        {"ChkGuide", {1500, 1560, 1395, 255}, "DisplayGuide"},
        {"CmdStart", {3360, 1560, 975, 375}, "Start"},
        {"CmdExit", {4560, 1560, 975, 375}, "Exit"},
    };
    for (const auto& c : layout) {
        const QWidget* widget = control<QWidget>(c.name);
        const QRect& t = c.twips;
        EXPECT_EQ(widget->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15))
            << c.name;
        if (c.caption == nullptr)
            continue;
        QString caption;
        if (auto* label = qobject_cast<const QLabel*>(widget))
            caption = label->text();
        else if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            caption = button->text();
        EXPECT_EQ(caption, QString::fromLatin1(c.caption)) << c.name;
    }
}

TEST_F(FormSettingTest, EveryCaptionFitsItsControl) {
    for (QCheckBox* box : form->findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(box);
        const int indicator =
            box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
            box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
        EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->text()) + indicator,
                  box->width())
            << box->objectName().toStdString();
    }
    for (QLabel* label : form->findChildren<QLabel*>()) {
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    }
}

TEST_F(FormSettingTest, TabVisitsTheControlsInTheirOrder) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    path()->setFocus();
    const QStringList order{"CmbPath",  "ChkLoop",     "ChkSubFld",   "CmbExt",
                            "ChkSort",  "ChkRealSize", "TxtInterval", "ChkAuto",
                            "ChkGuide", "CmdStart",    "CmdExit",     "CmbPath"};
    QStringList visited;
    for (int i = 0; i < order.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // An editable combo box's line edit holds the focus for its box.
        if (qobject_cast<QComboBox*>(focused->parentWidget()))
            focused = focused->parentWidget();
        visited.append(focused->objectName());
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(visited, order);
}

TEST_F(FormSettingTest, TooltipsComeFromTheTipTable) {
    for (QWidget* widget : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_EQ(widget->toolTip(), GetTipText(*form, *widget))
            << widget->objectName().toStdString();
    EXPECT_EQ(control<QWidget>("LabPath")->toolTip(), path()->toolTip());
    EXPECT_TRUE(control<QWidget>("Label2")->toolTip().isEmpty());
    EXPECT_TRUE(control<QWidget>("Label3")->toolTip().isEmpty());
    int withTips = 0;
    for (QWidget* widget : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        withTips += widget->toolTip().isEmpty() ? 0 : 1;
    EXPECT_EQ(withTips, 12);
}

TEST(GetTipText, ExactTextsWithTheirFullWidthCharacters) {
    EXPECT_EQ(
        GetTipText("FormSetting", "TxtInterval"),
        QString::fromUtf16(u"画像の表示を切り替える時間間隔(1\uFF5E60秒\uFF09を指定します。"));
    EXPECT_EQ(GetTipText("FormSetting", "ChkSubFld"),
              QString::fromUtf16(u"ONの場合、Pathで指定したドライブやフォルダの\uFF11つ下の"
                                 u"フォルダの画像ファイルを表示します。"));
    EXPECT_EQ(GetTipText("FormSetting", "CmbPath"),
              QString::fromUtf16(u"画像ファイルのあるドライブやフォルダを指定します。"
                                 u"ここにフォルダをマウスでドラッグ\uFF06ドロップできます。"));
    EXPECT_EQ(GetTipText("FormSetting", "CmdExit"),
              QString::fromUtf16(u"このプログラムを終了します。"));
    const struct {
        const char* window;
        const char* control;
    } none[] = {{"FormSetting", "Label2"}, {"FormSetting", "Label3"},   {"FormSetting", "cmdstart"},
                {"FormView", "CmdStart"},  {"formsetting", "CmdStart"}, {"FormSetting", ""}};
    for (const auto& c : none)
        EXPECT_TRUE(GetTipText(c.window, c.control).isEmpty()) << c.window << " " << c.control;
}

TEST_F(FormSettingTest, TypingIntoTheExtensionBoxLeavesAllSelected) {
    for (const int chosen : {0, 2}) {
        ext()->setCurrentIndex(chosen);
        QTest::keyClicks(ext()->lineEdit(), "png");
        EXPECT_EQ(ext()->currentIndex(), 0) << chosen;
        EXPECT_EQ(ext()->currentText(), "*(All)") << chosen;
    }
    QTest::keyClick(ext()->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(ext()->currentText(), "*(All)");
}

TEST_F(FormSettingTest, ChoosingAnExtensionKeepsIt) {
    QTest::keyClick(ext(), Qt::Key_Down);
    QTest::keyClick(ext(), Qt::Key_Down);
    EXPECT_EQ(ext()->currentText(), "jpg");
    EXPECT_EQ(ext()->currentIndex(), 2);
    start(goodFolder, "1");
    EXPECT_EQ(Settings.ExtList, "jpg");
    ext()->setCurrentIndex(3);
    start(goodFolder, "1");
    EXPECT_EQ(Settings.ExtList, "gif");
    ext()->setCurrentIndex(0);
    start(goodFolder, "1");
    EXPECT_EQ(Settings.ExtList, "bmp|jpg|gif");
}

TEST_F(FormSettingTest, DroppingFilesPutsTheFirstPathIntoThePathBox) {
    const struct {
        const char* name;
        QByteArray uris;
        QByteArray expected;
    } cases[] = {
        {"one folder", "file:///srv/photos\r\n", "/srv/photos"},
        {"three folders", "file:///c/one\r\nfile:///a/two\r\nfile:///b/three\r\n", "/c/one"},
        {"a file", "file:///srv/photos/a.jpg\r\n", "/srv/photos/a.jpg"},
        {"non-UTF-8 name", "file:///srv/%8Ec%90%5E\r\n", "/srv/\x8E\x63\x90\x5E"},
    };
    for (const auto& c : cases) {
        for (QWidget* target :
             {static_cast<QWidget*>(path()->lineEdit()), static_cast<QWidget*>(path())}) {
            path()->setEditText("before");
            QMimeData data;
            data.setData(kUriListMimeType, c.uris);
            EXPECT_TRUE(drop(target, data)) << c.name;
            EXPECT_EQ(platform::toNative(path()->currentText()), c.expected) << c.name;
        }
    }
    EXPECT_EQ(path()->count(), 0) << "a drop does not touch the history";
}

TEST_F(FormSettingTest, DroppedTextAndRemoteUrisAreIgnored) {
    path()->setEditText("before");
    QMimeData text;
    text.setText("/home/user/typed");
    EXPECT_FALSE(drop(path()->lineEdit(), text));
    QMimeData web;
    web.setData(kUriListMimeType, "https://example.org/a.jpg\r\n");
    web.setText("https://example.org/a.jpg");
    EXPECT_FALSE(drop(path()->lineEdit(), web));
    EXPECT_EQ(path()->currentText(), "before");
}

TEST_F(FormSettingTest, OnlyThePathBoxAcceptsDrops) {
    for (QWidget* widget : form->findChildren<QWidget*>()) {
        const bool pathBox = widget == path() || widget->parentWidget() == path();
        if (!pathBox)
            EXPECT_FALSE(widget->acceptDrops()) << widget->metaObject()->className();
    }
    EXPECT_FALSE(form->acceptDrops());
    EXPECT_TRUE(path()->lineEdit()->acceptDrops());
}

struct IntervalThroughWindow {
    const char16_t* text;
    int value; // 0: rejected
};

TEST_F(FormSettingTest, IntervalBoxIsCheckedByStart) {
    const IntervalThroughWindow cases[] = {
        {u"1", 1},  {u"60", 60}, {u"05", 5},  {u" 7 ", 7}, {u"+5", 5}, {u"１２", 12},
        {u"", 0},   {u"   ", 0}, {u"0", 0},   {u"61", 0},  {u"-1", 0}, {u"100", 0},
        {u"1.", 0}, {u"1,", 0},  {u"abc", 0}, {u"5x", 0},
    };
    const QString missing = goodFolder + "/missing";
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        Settings.Interval = 33;
        // A missing folder keeps the viewer closed; its message always comes first.
        start(missing, text);
        QStringList expected{kFolderMessage};
        if (c.value == 0)
            expected.append(kIntervalMessage);
        EXPECT_EQ(messages.texts(), expected) << text.toStdString();
        EXPECT_EQ(Settings.Interval, c.value == 0 ? 33 : c.value) << text.toStdString();
        EXPECT_EQ(interval()->text(), text) << "the box keeps what was typed";
    }
}

TEST_F(FormSettingTest, PathMustNameAListableFolderWithSomethingInIt) {
    tree.write(".hidden-only/.secret");
    tree.mkdir("empty");
    tree.write("folder/file.txt");
    const struct {
        const char* name;
        QString path;
        bool valid;
    } cases[] = {
        {"missing", goodFolder + "/nowhere", false},
        {"a file", goodFolder + "/picture.bmp", false},
        {"hidden files only", goodFolder + "/.hidden-only", false},
        {"empty folder", goodFolder + "/empty", false},
        {"empty box", "", false},
        {"blanks only", "   ", false},
        {"folder", goodFolder + "/folder", true},
        {"root folder", "/", true},
        {"trailing separator", goodFolder + "/folder/", true},
    };
    for (const auto& c : cases) {
        Settings.Path = "previous";
        start(c.path, "3");
        EXPECT_EQ(messages.texts(), c.valid ? QStringList() : QStringList{kFolderMessage})
            << c.name;
        EXPECT_EQ(Settings.Path, c.valid ? c.path : QString("previous")) << c.name;
        EXPECT_EQ(form->viewer() != nullptr, c.valid) << c.name;
        delete form->viewer();
    }
}

TEST_F(FormSettingTest, SpacesAroundThePathAreTrimmedEverywhere) {
    const QString padded = QStringLiteral("  ") + goodFolder + QString(QChar(0x3000)) + " ";
    start(padded, "1");
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(path()->currentText(), goodFolder);
    EXPECT_EQ(Settings.Path, goodFolder);
    EXPECT_EQ(history(), QStringList{goodFolder});
}

TEST_F(FormSettingTest, FailedStartReportsBothErrorsInOrderAndStillTakesTheSwitches) {
    Settings.Path = "old path";
    Settings.Interval = 9;
    check("ChkLoop")->setChecked(true);
    check("ChkSubFld")->setChecked(true);
    check("ChkSort")->setChecked(true);
    check("ChkRealSize")->setChecked(true);
    check("ChkAuto")->setChecked(false);
    check("ChkGuide")->setChecked(false);
    ext()->setCurrentIndex(1);
    start(goodFolder + "/missing", "0");

    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.texts(), (QStringList{kFolderMessage, kIntervalMessage}));
    for (const auto& shown : messages.shown) {
        EXPECT_EQ(shown.title, "Orlix");
        EXPECT_FALSE(shown.busyPointer) << "the pointer is back before the messages";
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->viewer(), nullptr);
    EXPECT_EQ(Settings.Path, "old path");
    EXPECT_EQ(Settings.Interval, 9);
    EXPECT_EQ(Settings.Loop, 1);
    EXPECT_EQ(Settings.SubFolder, 1);
    EXPECT_EQ(Settings.ExtList, "bmp");
    EXPECT_EQ(Settings.Sort, 1);
    EXPECT_EQ(Settings.RealSize, 1);
    EXPECT_EQ(Settings.Auto, 0);
    EXPECT_EQ(Settings.Guide, 0);
    EXPECT_EQ(history(), QStringList{goodFolder + "/missing"}) << "a failed path is remembered";
}

TEST_F(FormSettingTest, SuccessfulStartFillsSettingsAndOpensOneViewer) {
    check("ChkGuide")->setChecked(false);
    start(goodFolder, "12");
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(Settings.Path, goodFolder);
    EXPECT_EQ(Settings.Interval, 12);
    EXPECT_EQ(Settings.ExtList, "bmp|jpg|gif");
    EXPECT_EQ(Settings.Auto, 1);
    EXPECT_EQ(Settings.Guide, 0);
    FormView* first = form->viewer();
    ASSERT_NE(first, nullptr);
    start(goodFolder, "12");
    EXPECT_EQ(form->viewer(), first) << "an open viewer is brought forward, not loaded again";
}

TEST_F(FormSettingTest, HistoryKeepsFirstSpellingAndNeverMovesAnEntry) {
    tree.mkdir("Trip");
    const QString trip = goodFolder + "/Trip";
    start(trip, "1");
    start(goodFolder + "/trip", "1");
    EXPECT_EQ(history(), QStringList{trip});
    start("", "1");
    start("", "1");
    EXPECT_EQ(history(), (QStringList{"", trip}));
    start(trip, "1");
    EXPECT_EQ(history(), (QStringList{"", trip})) << "an existing entry is not moved";
}

TEST_F(FormSettingTest, HistoryHoldsThirtyTwoPaths) {
    for (int i = 0; i < 33; ++i)
        start(goodFolder + QStringLiteral("/missing-%1").arg(i), "1");
    const QStringList entries = history();
    ASSERT_EQ(entries.size(), 32);
    EXPECT_EQ(entries.first(), goodFolder + "/missing-32");
    EXPECT_EQ(entries.last(), goodFolder + "/missing-1");
    EXPECT_EQ(path()->currentText(), goodFolder + "/missing-32");
}

TEST_F(FormSettingTest, EnterRunsStartFromThePathBoxAndTheCheckBoxes) {
    path()->setEditText(goodFolder + "/missing");
    for (QWidget* target :
         {static_cast<QWidget*>(path()->lineEdit()), static_cast<QWidget*>(check("ChkLoop")),
          static_cast<QWidget*>(interval())}) {
        messages.shown.clear();
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_EQ(messages.texts(), QStringList{kFolderMessage})
            << target->metaObject()->className();
    }
    messages.shown.clear();
    QTest::keyClick(interval(), Qt::Key_Enter);
    EXPECT_EQ(messages.shown.size(), 1u) << "keypad Enter too";
    EXPECT_EQ(history().size(), 1) << "Enter does not add the typed text a second time";
    EXPECT_EQ(endCalls, 0);
}

TEST_F(FormSettingTest, EnterOnTheFocusedExitButtonExits) {
    QTest::keyClick(control<QPushButton>("CmdExit"), Qt::Key_Return);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(endCalls, 1);
}

TEST_F(FormSettingTest, EscapeEndsTheProgram) {
    form->show();
    QTest::keyClick(path()->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(endCalls, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(FormSettingTest, ClosingTakesTheViewerAndEveryOtherWindowAlong) {
    form->show();
    start(goodFolder, "1");
    QPointer<FormView> viewer = form->viewer();
    ASSERT_FALSE(viewer.isNull());
    QWidget other;
    other.show();

    form->close();
    EXPECT_EQ(endCalls, 1);
    EXPECT_FALSE(viewer && viewer->isVisible());
    EXPECT_FALSE(other.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());

    form->close();
    EXPECT_EQ(endCalls, 1) << "the program is ended once";
}

TEST_F(FormSettingTest, ViewerKeysSetTheCheckBoxes) {
    SettingsWindowLink& link = *form;
    link.setRealSizeCheck(1);
    link.setGuideCheck(0);
    EXPECT_TRUE(check("ChkRealSize")->isChecked());
    EXPECT_FALSE(check("ChkGuide")->isChecked());
    link.setRealSizeCheck(0);
    link.setGuideCheck(1);
    EXPECT_FALSE(check("ChkRealSize")->isChecked());
    EXPECT_TRUE(check("ChkGuide")->isChecked());
}

} // namespace
} // namespace orlix
