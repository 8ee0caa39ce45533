// The settings window and the viewer it opens as the desktop sees them: place, default button,
// pointers.
#include "app/Settings.h"
#include "platform/MessageService.h"
#include "settings/FormSetting.h"
#include "support/TempTree.h"
#include "viewer/FormView.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace orlix {
namespace {

struct RecordingMessages : platform::MessageService {
    void warning(QWidget*, const QString&, const QString& text) override { texts.append(text); }
    QStringList texts;
};

class SettingsWindowDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        Settings = SettingsRecord{};
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::gray);
        QByteArray bmp;
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "BMP");
        tree.write("picture.bmp", bmp);
        form = std::make_unique<FormSetting>(messages, [] {});
    }
    void TearDown() override {
        delete form->viewer();
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QPushButton* button(const char* name) const {
        return form->findChild<QPushButton*>(QLatin1String(name));
    }

    test::TempTree tree;
    RecordingMessages messages;
    std::unique_ptr<FormSetting> form;
};

TEST_F(SettingsWindowDesktop, IsCentredOnThePrimaryScreen) {
    // The offscreen platform's screen is 800 x 800, the window 378 x 136: (422 / 2, 664 / 2).
    // Taking QRect::center() instead would put it one pixel to the left.
    EXPECT_EQ(form->geometry(), QRect(211, 332, 378, 136));
}

TEST_F(SettingsWindowDesktop, StartIsDrawnAsTheDefaultButton) {
    QPushButton* start = button("CmdStart");
    QPushButton* exit = button("CmdExit");
    ASSERT_TRUE(start && exit);
    EXPECT_TRUE(start->isDefault());
    EXPECT_FALSE(exit->isDefault());
    // Qt's default-button look, not only the flag: the same button drawn without it differs.
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QImage asDefault = start->grab().toImage();
    start->setDefault(false);
    const QImage plain = start->grab().toImage();
    start->setDefault(true);
    EXPECT_NE(asDefault, plain);
}

TEST_F(SettingsWindowDesktop, EnterOnTheDefaultButtonPressesItOnce) {
    int clicks = 0;
    QPushButton* start = button("CmdStart");
    QObject::connect(start, &QPushButton::clicked, [&] { ++clicks; });
    // An interval that is refused: Start reports it instead of opening the viewer.
    form->findChild<QLineEdit*>("TxtInterval")->setText("0");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // With the focus on Start itself, where a default button would also click itself.
    start->setFocus();
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(SettingsWindowDesktop, PointersBlankOverTheViewerOnlyAndNoBusyPointerLeft) {
    // The settings window has no pointer of its own: the desktop's arrow.
    EXPECT_FALSE(form->testAttribute(Qt::WA_SetCursor));
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);

    form->findChild<QComboBox*>("CmbPath")->setEditText(tree.rootText());
    form->findChild<QLineEdit*>("TxtInterval")->setText("60");
    form->CmdStart_Click();
    ASSERT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the busy pointer stayed";
    FormView* viewer = form->viewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->stepsRun() > 0; }, 5000));
    EXPECT_EQ(viewer->cursor().shape(), Qt::BlankCursor);
    // The labels and the picture box show the viewer's pointer: none sets one of its own.
    const QList<QWidget*> parts = viewer->findChildren<QWidget*>();
    ASSERT_FALSE(parts.isEmpty());
    for (const QWidget* part : parts) {
        EXPECT_EQ(part->cursor().shape(), Qt::BlankCursor) << part->metaObject()->className();
        EXPECT_FALSE(part->testAttribute(Qt::WA_SetCursor)) << part->metaObject()->className();
    }
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    // A normal window that takes the keyboard, not a tool window.
    EXPECT_EQ(viewer->windowType(), Qt::Window);
    EXPECT_EQ(viewer->focusPolicy(), Qt::StrongFocus);
}

} // namespace
} // namespace orlix
