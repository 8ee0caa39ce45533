// The viewer with its decoding thread: pictures decoded ahead, what makes them useless, steps
// that wait for their picture, and closing while a decode is under way.

#include "viewer/FormView.h"

#include "app/Settings.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"
#include "viewer/PictureBox.h"
#include "viewer/PictureSource.h"
#include "viewer/SettingsWindowLink.h"
#include "viewer/TestDecoders.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix {
namespace {

QByteArray jpeg(QSize size, QColor colour = Qt::gray) {
    return test::pictureFile(size, colour.rgb(), "JPEG");
}

// How many decoding threads the process has.
int decodingThreads() {
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == DecodeWorker::kThreadName)
            ++count;
    }
    return count;
}

// A viewer on a 1024 x 768 screen over a scratch tree, decoding through a RecordingDecoder.
class DecodeAhead : public ::testing::Test,
                    public platform::MessageService,
                    public SettingsWindowLink {
public:
    void SetUp() override {
        Settings = SettingsRecord();
        Settings.Path = tree.rootText();
        Settings.ExtList = QStringLiteral("bmp|jpg|gif");
        Settings.Interval = 60;
        Settings.Sort = 1;
        Settings.Loop = 1;
        Settings.Guide = 1;
    }
    void TearDown() override { delete view.data(); }
    void warning(QWidget*, const QString&, const QString& text) override { boxes << text; }
    void setRealSizeCheck(std::int16_t value) override { realSizeChecks.push_back(value); }
    void setGuideCheck(std::int16_t) override {}

    void pictures(std::initializer_list<const char*> names) {
        for (const char* name : names)
            tree.write(name, jpeg({40, 30}));
    }
    void open() {
        view = new FormView({QRect(0, 0, 1024, 768), 1.0}, *this, this, nullptr, decoder);
        view->Form_Load();
        view->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view || view->stepsRun() > 0; }, 5000));
        settle();
    }
    void settle() const {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view || view->isSettled(); }, 10000));
    }
    // Waits until the decoding thread has nothing left to do.
    void idle() const {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view || view->pictures().idle(); }, 10000));
    }
    // Presses and releases a key; true when the step it ran had its picture at hand, without
    // decoding it.
    bool press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const qsizetype before = decoder->log().size();
        QTest::keyPress(view.data(), key, modifiers);
        if (view)
            QTest::keyRelease(view.data(), key, modifiers);
        settle();
        if (!view)
            return true;
        const QStringList decodedSince = decoder->log().mid(before);
        return !decodedSince.contains(shown()) && !decodedSince.contains(shown() + "*");
    }
    QString shown() const {
        const ViewerState& s = view->state();
        return s.fileList.at(s.fileIndex).Path.section(QLatin1Char('/'), -1);
    }

    test::TempTree tree;
    std::shared_ptr<test::RecordingDecoder> decoder = std::make_shared<test::RecordingDecoder>();
    QPointer<FormView> view;
    QStringList boxes;
    std::vector<std::int16_t> realSizeChecks;
};

TEST_F(DecodeAhead, TheNextPictureIsDecodedAheadAndShownAtOnce) {
    pictures({"a.jpg", "b.jpg", "c.jpg"});
    open();
    idle();
    EXPECT_EQ(decoder->log(), QStringList({"a.jpg", "b.jpg"}));
    EXPECT_TRUE(press(Qt::Key_Right));
    EXPECT_EQ(shown(), QStringLiteral("b.jpg"));
    idle();
    view->TimInterval_Timer(); // a tick takes the next one just the same
    settle();
    EXPECT_EQ(shown(), QStringLiteral("c.jpg"));
    idle();
    // c wraps round to a, which is decoded ahead again: each file once per visit.
    EXPECT_EQ(decoder->log(), QStringList({"a.jpg", "b.jpg", "c.jpg", "a.jpg"}));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, APictureTheShowNoLongerWantsIsDroppedAndTheRightOneDecoded) {
    pictures({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const struct {
        const char* what;
        std::function<void(DecodeAhead&)> change; // from b on show, c decoded ahead
        const char* shownAfter;
        const char* lastDecode; // the decode the change caused
    } cases[] = {
        {"direction reversed", [](DecodeAhead& t) { t.press(Qt::Key_Left); }, "a.jpg", "a.jpg"},
        {"guide switched", [](DecodeAhead& t) { t.press(Qt::Key_Control); }, "b.jpg", "c.jpg"},
        {"real size switched", [](DecodeAhead& t) { t.press(Qt::Key_Home); }, "b.jpg", "c.jpg*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settings.Guide = 1;
        Settings.RealSize = 0;
        open();
        press(Qt::Key_Right);
        idle();
        const int before = decoder->log().size();
        c.change(*this);
        idle();
        EXPECT_EQ(shown(), QString::fromLatin1(c.shownAfter));
        const QStringList log = decoder->log();
        ASSERT_GT(log.size(), before);
        EXPECT_TRUE(log.mid(before).contains(QString::fromLatin1(c.lastDecode)))
            << log.join(' ').toStdString();
        // Whatever the change, the step after it finds its picture ready and laid out for the
        // view as it now is.
        EXPECT_TRUE(press(view->state().lastKey == 37 ? Qt::Key_Left : Qt::Key_Right));
        const DecodedPicture* held = view->heldPicture();
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->view.viewHeight, view->state().viewHeight);
        EXPECT_EQ(held->view.realSize, Settings.RealSize == 1);
        delete view.data();
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, AFolderChangeDropsTheDecodeAhead) {
    Settings.SubFolder = 1;
    for (const char* name : {"x/1.jpg", "x/2.jpg", "y/1.jpg"})
        tree.write(name, jpeg({40, 30}));
    open();
    idle();
    EXPECT_EQ(decoder->log(), QStringList({"1.jpg", "2.jpg"}));
    EXPECT_FALSE(press(Qt::Key_Down)); // y/1.jpg was not decoded ahead: the step waited
    EXPECT_TRUE(view->state().fileList.at(0).Path.endsWith(QLatin1String("y/1.jpg")));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, AFileChangedSinceItWasDecodedAheadIsReadAgainAtItsStep) {
    const auto replace = [this](QSize size) {
        tree.write("new.tmp", jpeg(size, Qt::red));
        ASSERT_EQ(::rename(tree.path("new.tmp").constData(), tree.path("b.jpg").constData()), 0);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        const char* caption; // the end of the caption after the step; "" none
        const char* box;
    } cases[] = {
        {"replaced under the same name",
         [&] {
             replace({80, 60});
         },
         "(Size 80X60 100%)", ""},
        {"rewritten in place",
         [&] {
             tree.write("b.jpg", jpeg({60, 45}));
         },
         "(Size 60X45 100%)", ""},
        {"gone", [&] { ::unlink(tree.path("b.jpg").constData()); }, "",
         "53 ファイルが見つかりません。"},
        {"now a folder",
         [&] {
             ::unlink(tree.path("b.jpg").constData());
             tree.mkdir("b.jpg");
         },
         "", "75 パス名が無効です。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree.write("a.jpg", jpeg({40, 30}));
        ::rmdir(tree.path("b.jpg").constData());
        tree.write("b.jpg", jpeg({40, 30}));
        boxes.clear();
        open();
        idle(); // b.jpg decoded ahead as 40 x 30
        c.change();
        press(Qt::Key_Right);
        EXPECT_EQ(shown(), QStringLiteral("b.jpg"));
        EXPECT_EQ(boxes, c.box[0] ? QStringList(QString::fromUtf8(c.box)) : QStringList());
        if (c.caption[0])
            EXPECT_TRUE(view->caption().endsWith(QLatin1String(c.caption)))
                << view->caption().toStdString();
        else
            EXPECT_FALSE(view->pictureView()->isVisible());
        delete view.data();
    }
}

// Root reads every file, so this case runs as the user nobody: the test program runs itself.
TEST_F(DecodeAhead, AFileThatBecameUnreadableFailsAtItsStep) {
    if (::geteuid() == 0) {
        QProcess child;
        child.setProgram(QStringLiteral("setpriv"));
        child.setArguments({"--reuid=65534", "--regid=65534", "--clear-groups",
                            QCoreApplication::applicationFilePath(),
                            "--gtest_filter=DecodeAhead.AFileThatBecameUnreadableFailsAtItsStep"});
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start();
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        if (child.exitCode() != 0 && output.contains("setpriv"))
            GTEST_SKIP() << "cannot become user nobody: " << output.constData();
        EXPECT_EQ(child.exitCode(), 0) << output.constData();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
        return;
    }
    pictures({"a.jpg", "b.jpg"});
    open();
    idle();
    ASSERT_EQ(::chmod(tree.path("b.jpg").constData(), 0), 0);
    press(Qt::Key_Right);
    EXPECT_EQ(boxes, QStringList(QString::fromUtf8("70 アクセスが拒否されました。")));
    EXPECT_FALSE(view->pictureView()->isVisible());
}

TEST_F(DecodeAhead, KeysAndTicksDuringAWaitRunInOrderAfterIt) {
    // The same keys, once with the picture at hand and once with the step waiting for it:
    // the show must end in the same state.
    pictures({"a.jpg", "slow.jpg", "z.jpg"});
    struct Outcome {
        QString shown;
        std::int16_t realSize;
        bool running;
        std::vector<std::int16_t> checks;
    };
    Outcome outcomes[2];
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "waiting" : "at once");
        decoder = std::make_shared<test::RecordingDecoder>();
        if (!blocked)
            decoder->openGate();
        realSizeChecks.clear();
        Settings.RealSize = 0;
        Settings.Auto = 0;
        open();
        ASSERT_TRUE(view->intervalTimer()->isActive());
        if (blocked)
            ASSERT_TRUE(QTest::qWaitFor([&] { return decoder->waitingAtGate() == 1; }, 5000));
        else
            idle();
        QTest::keyClick(view.data(), Qt::Key_Right);
        if (blocked) {
            EXPECT_TRUE(view->isWaiting());
        }
        QTest::keyClick(view.data(), Qt::Key_Return); // pauses again after the step resumed
        QTest::keyClick(view.data(), Qt::Key_Home);
        view->TimInterval_Timer();
        if (blocked) {
            // The window serves events meanwhile; the held keys have done nothing yet.
            bool served = false;
            QTimer::singleShot(0, [&] { served = true; });
            EXPECT_TRUE(QTest::qWaitFor([&] { return served; }, 2000));
            EXPECT_EQ(Settings.RealSize, 0);
            EXPECT_FALSE(view->intervalTimer()->isActive());
            decoder->openGate();
        }
        settle();
        idle();
        outcomes[blocked] = {shown(), Settings.RealSize, view->intervalTimer()->isActive(),
                             realSizeChecks};
        delete view.data();
    }
    EXPECT_EQ(outcomes[1].shown, outcomes[0].shown);
    EXPECT_EQ(outcomes[1].realSize, 1);
    EXPECT_EQ(outcomes[0].realSize, 1);
    EXPECT_EQ(outcomes[1].running, outcomes[0].running);
    EXPECT_EQ(outcomes[1].checks, outcomes[0].checks);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, EscClosesAtOnceWhileAStepWaitsAndLeavesNothingBehind) {
    pictures({"a.jpg", "slow.jpg"});
    open();
    EXPECT_EQ(decodingThreads(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return decoder->waitingAtGate() == 1; }, 5000));
    QTest::keyClick(view.data(), Qt::Key_Right);
    ASSERT_TRUE(view->isWaiting());
    QTest::keyClick(view.data(), Qt::Key_Escape);
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->isClosed());
    EXPECT_FALSE(view->isVisible());
    // The decode was abandoned, not waited for: the window goes and so does its thread.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000));
    EXPECT_EQ(decodingThreads(), 0);
    QTest::qWait(50);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, ClosingTheProgramDuringALongDecodeEndsItAtOnce) {
    // A progressive JPEG cut off and padded to 2 GiB with zeros: the decoder reads through all
    // of it before the first row, for seconds.
    QImage detail(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < detail.height(); ++y)
        for (int x = 0; x < detail.width(); ++x)
            detail.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (x ^ y) & 0xff, (x * y) & 0xff));
    QByteArray head = test::encodedPicture(detail, "JPEG", true);
    ASSERT_FALSE(head.isEmpty());
    head.truncate(head.size() / 2);
    tree.write("a.jpg", jpeg({40, 30}));
    tree.write("b.jpg", head);
    ASSERT_EQ(::truncate(tree.path("b.jpg").constData(), qint64(2) << 30), 0);
    open();
    // Under way ahead, then wanted by the step.
    ASSERT_TRUE(QTest::qWaitFor([&] { return decoder->log().contains("b.jpg"); }, 5000));
    QTest::keyClick(view.data(), Qt::Key_Right);
    ASSERT_TRUE(view->isWaiting());
    // As the settings window does when it ends the program: hide, delete later, and the
    // program's end deletes what is left.
    view->hide();
    view->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
    EXPECT_EQ(decodingThreads(), 0);
    EXPECT_EQ(decoder->abandoned(), QStringList("b.jpg")); // stopped, not read to its end
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
} // namespace orlix
