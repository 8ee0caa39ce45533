#include "settings/FormSetting.h"
#include "core/Settings.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/MessageService.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/files/NativePath.h"
#include "settings/UriList.h"
#include "support/TempTree.h"
#include "viewer/window/FormView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orlix {
namespace {

const QString kFolderMessage = QStringLiteral(
    "Pathで指定したドライブやフォルダ名に誤りがあるか、それらが使用できない状態です。");
const QString kIntervalMessage = QStringLiteral("Intervalで指定した値に誤りがあります。");

struct RecordingMessages : platform::MessageService {
    void warning(QWidget*, const QString& title, const QString& text) override {
        EXPECT_EQ(title, "Orlix");
        texts.append(text);
    }
    QStringList texts;
};

class FormSettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program ends through the injected function; Qt must not end it on its own.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        Settings = SettingsRecord{};
        form = std::make_unique<FormSetting>(messages, [this] { ++endCalls; });
        path = control<QComboBox>("CmbPath");
        ext = control<QComboBox>("CmbExt");
        tree.write("picture.bmp");
        good = tree.rootText();
    }
    void TearDown() override {
        delete form->viewer();
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    template <typename T = QWidget> T* control(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QStringList history() const {
        QStringList items;
        for (int i = 0; i < path->count(); ++i)
            items.append(path->itemText(i));
        return items;
    }
    void start(const QString& pathText, const QString& intervalText = "1") {
        path->setEditText(pathText);
        control<QLineEdit>("TxtInterval")->setText(intervalText);
        messages.texts.clear();
        form->CmdStart_Click();
    }
    // Drags `data` onto `target` and drops it there, as the drag machinery would.
    static bool drop(QWidget* target, const QMimeData& data) {
        const QPoint at(1, 1);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        if (enter.isAccepted())
            QApplication::sendEvent(target, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    }

    test::TempTree tree;
    QString good;
    RecordingMessages messages;
    int endCalls = 0;
    std::unique_ptr<FormSetting> form;
    QComboBox* path = nullptr;
    QComboBox* ext = nullptr;
};

TEST_F(FormSettingTest, OpensWithTheInitialChoices) {
    EXPECT_EQ(form->windowTitle(), "Orlix");
    EXPECT_EQ(path->currentText(), platform::executableFolder());
    EXPECT_EQ(path->count(), 0);
    EXPECT_EQ(ext->currentIndex(), 0);
    EXPECT_EQ(ext->currentText(), "*(All)");
    EXPECT_EQ(control<QLineEdit>("TxtInterval")->text(), "1");
    for (QCheckBox* box : form->findChildren<QCheckBox*>()) {
        const QString name = box->objectName();
        EXPECT_EQ(box->isChecked(), name == "ChkAuto" || name == "ChkGuide") << name.toStdString();
    }
    // The captions that take their control's tip or none.
    EXPECT_EQ(control("Label2")->toolTip(), "");
    EXPECT_EQ(control("LabPath")->toolTip(), path->toolTip());
    EXPECT_FALSE(path->toolTip().isEmpty());
}

TEST_F(FormSettingTest, TypingIntoTheExtensionBoxLeavesAllSelected) {
    for (const int chosen : {0, 2}) {
        ext->setCurrentIndex(chosen);
        QTest::keyClicks(ext->lineEdit(), "png");
        EXPECT_EQ(ext->currentIndex(), 0) << chosen;
        EXPECT_EQ(ext->currentText(), "*(All)") << chosen;
    }
}

TEST_F(FormSettingTest, DroppedFileListPutsItsFirstLocalPathIntoThePathBox) {
    // Second empty: the drop is refused.
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"file:///srv/photos\r\n", "/srv/photos"},
        {"file:///c/one\r\nfile:///a/two\r\nfile:///b/three\r\n", "/c/one"},
        {"file:///srv/%8Ec%90%5E\r\n", "/srv/\x8E\x63\x90\x5E"},
        {"file:///u/My%20Photos/%E5%86%99%23%25\n", "/u/My Photos/\xE5\x86\x99#%"},
        {"# c\r\n\r\nhttps://h/a.jpg\r\nfile://host/x\r\nfile://localhost/srv/p", "/srv/p"},
        {"file:///a%00b\r\nFILE:/tmp/x\r\n", "/tmp/x"},
        {"https://example.org/a.jpg\r\n", ""},
    };
    for (const auto& [uris, expected] : cases) {
        for (QWidget* target : std::initializer_list<QWidget*>{path->lineEdit(), path}) {
            SCOPED_TRACE(uris.toStdString());
            path->setEditText("before");
            QMimeData data;
            data.setData(kUriListMimeType, uris);
            EXPECT_EQ(drop(target, data), !expected.isEmpty());
            EXPECT_EQ(platform::toNative(path->currentText()),
                      expected.isEmpty() ? "before" : expected);
        }
    }
    QMimeData text;
    text.setText("/home/user/typed");
    EXPECT_FALSE(drop(path->lineEdit(), text));
    EXPECT_EQ(path->currentText(), "before");
    for (QWidget* widget : form->findChildren<QWidget*>())
        EXPECT_EQ(widget->acceptDrops(), widget == path || widget == path->lineEdit())
            << widget->metaObject()->className();
}

TEST_F(FormSettingTest, FailedStartKeepsPathAndIntervalButTakesTheOtherSeven) {
    for (QCheckBox* box : form->findChildren<QCheckBox*>())
        box->toggle();
    QTest::keyClick(ext, Qt::Key_Down);
    QTest::keyClick(ext, Qt::Key_Down);
    // Interval texts and the seconds taken (0: rejected); the rules are StartRules'.
    const std::pair<const char16_t*, int> cases[] = {{u"\u3000８\u3000", 8}, {u"６１", 0}};
    for (const auto& [typed, value] : cases) {
        SCOPED_TRACE(QString::fromUtf16(typed).toStdString());
        Settings = SettingsRecord{};
        Settings.Path = "old path";
        Settings.Interval = 33;
        // A missing folder keeps the viewer closed; its message always comes first.
        start(good + "/missing", QString::fromUtf16(typed));
        EXPECT_EQ(messages.texts, (value ? QStringList{kFolderMessage}
                                         : QStringList{kFolderMessage, kIntervalMessage}));
        EXPECT_EQ(Settings.Interval, value ? value : 33);
        EXPECT_EQ(Settings.Path, "old path");
        EXPECT_EQ(Settings.ExtList, "jpg");
        EXPECT_EQ((std::vector<int>{Settings.Loop, Settings.SubFolder, Settings.Sort,
                                    Settings.RealSize, Settings.Auto, Settings.Guide}),
                  (std::vector<int>{1, 1, 1, 1, 0, 0}));
    }
}

TEST_F(FormSettingTest, PathMustNameAListableFolderWithSomethingInIt) {
    tree.mkdir("empty");
    tree.write("folder/file.txt");
    const QString folder = good + "/folder";
    const QString padded = "  " + folder + QChar(0x3000) + " ";
    // Second empty: rejected. What else FolderHasEntry refuses is in its own table.
    const std::pair<QString, QString> cases[] = {
        {good + "/nowhere", ""},      {good + "/empty", ""}, {folder, folder}, {"/", "/"},
        {folder + "/", folder + "/"}, {padded, folder},
    };
    for (const auto& [typed, taken] : cases) {
        SCOPED_TRACE(typed.toStdString());
        Settings.Path = "previous";
        start(typed);
        EXPECT_EQ(messages.texts, taken.isEmpty() ? QStringList{kFolderMessage} : QStringList());
        EXPECT_EQ(Settings.Path, taken.isEmpty() ? QString("previous") : taken);
        EXPECT_EQ(form->viewer() != nullptr, !taken.isEmpty());
        EXPECT_EQ(path->currentText(), taken.isEmpty() ? typed : taken);
        EXPECT_TRUE(history().contains(path->currentText())) << "kept whether or not it starts";
        EXPECT_EQ(Settings.ExtList, "bmp|jpg|gif");
        delete form->viewer();
    }
}

TEST_F(FormSettingTest, StartIsTheDefaultButtonAndEnterOnItPressesItOnce) {
    int clicks = 0;
    QPushButton* start = control<QPushButton>("CmdStart");
    EXPECT_FALSE(control<QPushButton>("CmdExit")->isDefault());
    QObject::connect(start, &QPushButton::clicked, [&] { ++clicks; });
    // An interval that is refused: Start reports it instead of opening the viewer.
    control<QLineEdit>("TxtInterval")->setText("0");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // The style's default-button look, not only the flag: the same button drawn without it
    // differs.
    ASSERT_TRUE(start->isDefault());
    const QImage asDefault = start->grab().toImage();
    start->setDefault(false);
    EXPECT_NE(start->grab().toImage(), asDefault);
    start->setDefault(true);
    // With the focus on Start itself, where a default button would also click itself.
    start->setFocus();
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(messages.texts.size(), 1);
    // Enter on Exit presses Exit.
    QTest::keyClick(control("CmdExit"), Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(endCalls, 1);
}

// A show takes its memory as its viewer opens and gives it back once the viewer is gone
// (the hooks), but not when the program ends with it.
TEST_F(FormSettingTest, EnterStartsOneViewerAndEscapeEndsTheProgramWithIt) {
    int starts = 0, ends = 0;
    // The picture boxes left when the show is said to have ended: what it gives back then
    // must be all it held.
    int boxesAtEnd = -1;
    form->setShowHooks([&](const platform::ScreenMetrics&) { ++starts; },
                       [&] {
                           ++ends;
                           boxesAtEnd = 0;
                           for (const QWidget* widget : QApplication::allWidgets())
                               boxesAtEnd += widget->inherits("orlix::PictureBox") ? 1 : 0;
                       });
    form->show();
    path->setEditText(good);
    QTest::keyClick(path->lineEdit(), Qt::Key_Return);
    QPointer<FormView> viewer = form->viewer();
    ASSERT_FALSE(viewer.isNull());
    EXPECT_EQ(history(), QStringList{good}) << "Enter does not add the typed text a second time";
    // The folder is listed off the GUI thread; the viewer shows once it has been.
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer->isVisible(); }));
    viewer->hide();
    start(good);
    EXPECT_EQ(form->viewer(), viewer) << "an open viewer is brought forward, not loaded again";
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(starts, 1);
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(boxesAtEnd, 0);
    start(good);
    viewer = form->viewer();
    ASSERT_FALSE(viewer.isNull());
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(endCalls, 0);

    QTest::keyClick(path->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(endCalls, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(viewer && viewer->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(ends, 1) << "nothing is given back for a program that ends";
}

} // namespace
} // namespace orlix
