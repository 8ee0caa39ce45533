#pragma once

#include "ViewerTestKit.h"
#include "app/Settings.h"
#include "support/TempTree.h"
#include "viewer/FormView.h"
#include "viewer/SettingsWindowLink.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

namespace orlix::test {

// The settings window's check boxes, as the viewer sets them.
class RecordingLink : public SettingsWindowLink {
public:
    void setRealSizeCheck(std::int16_t value) override { realSize.push_back(value); }
    void setGuideCheck(std::int16_t value) override { guide.push_back(value); }
    std::vector<std::int16_t> realSize, guide;
};

// A viewer over a scratch tree on a 1024 x 768 screen, opened as the Start command opens it.
class FormViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings = SettingsRecord();
        Settings.Path = tree.rootText();
        Settings.ExtList = QStringLiteral("bmp|jpg|gif");
        Settings.Interval = 60; // no tick of its own while a test drives the show
        Settings.Sort = 1;      // a known order
    }
    void TearDown() override { delete view.data(); }

    void picture(const QByteArray& relative, QSize size = QSize(40, 30)) {
        tree.write(relative, encodePicture(size, "BMP"));
    }

    // Opens the viewer and waits for the first slide step, as when Start is pressed.
    FormView* open(platform::ScreenMetrics screen = {QRect(0, 0, 1024, 768), 1.0}) {
        view = new FormView(screen, messages, &link);
        view->Form_Load();
        view->show();
        (void)QTest::qWaitFor([&] { return !view || view->stepsRun() > 0; }, 2000);
        return view;
    }

    // The path of the picture on show, relative to the tree.
    QString shown() const {
        const ViewerState& s = view->state();
        return s.fileList.at(s.fileIndex).Path.mid(tree.rootText().size() + 1);
    }

    bool closesSoon() {
        return QTest::qWaitFor([&] { return view.isNull(); }, 2000);
    }

    TempTree tree;
    RecordingMessages messages;
    RecordingLink link;
    QPointer<FormView> view;
};

} // namespace orlix::test
