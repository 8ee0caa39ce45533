#include "platform/Desktop.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QObject>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orlix::platform {
namespace {

TEST(Desktop, PointerMayBeMovedEverywhereButOnWayland) {
    const struct {
        const char* platform;
        bool movable;
    } cases[] = {
        {"xcb", true},          {"offscreen", true},
        {"eglfs", true},        {"wayland", false},
        {"wayland-egl", false}, {"wayland-xcomposite-glx", false},
        {"Wayland", false},     {"", true},
        {"xcb-wayland", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platformLetsProgramsMovePointer(QString::fromLatin1(c.platform)), c.movable)
            << c.platform;
}

TEST(Desktop, MovePointerPutsThePointerWhereAsked) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    for (const QPoint target : {QPoint(10, 20), QPoint(456, 321), QPoint(0, 0)}) {
        EXPECT_TRUE(movePointer(target));
        EXPECT_EQ(QCursor::pos(), target);
    }
}

// Stands in for the desktop's browser: Qt hands addresses of a scheme with a handler to it.
class AddressRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class OpenAddress : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* scheme : kSchemes)
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");
    }
    void TearDown() override {
        for (const char* scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    static constexpr const char* kSchemes[] = {"http", "https", "file", "mailto"};
    AddressRecorder recorder;
};

TEST_F(OpenAddress, HandsTheAddressToTheDesktopAsAUserWouldTypeIt) {
    const struct {
        const char* address;
        const char* url;
    } cases[] = {
        {"https://orlix.example.org/", "https://orlix.example.org/"},
        {"http://example.jp/~user/index.html", "http://example.jp/~user/index.html"},
        {"www.example.jp", "http://www.example.jp"},
        {"  https://orlix.example.org/  ", "https://orlix.example.org/"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"/usr/share/doc", "file:///usr/share/doc"},
    };
    for (const auto& c : cases) {
        recorder.opened.clear();
        openAddress(QString::fromUtf8(c.address));
        ASSERT_EQ(recorder.opened.size(), 1) << c.address;
        EXPECT_EQ(recorder.opened.front(), QUrl(QString::fromUtf8(c.url))) << c.address;
    }
}

TEST_F(OpenAddress, EmptyAddressIsAskedForQuietlyAndOpensNothing) {
    openAddress(QString());
    openAddress(QStringLiteral("   "));
    EXPECT_TRUE(recorder.opened.isEmpty());
}

// Runs `program` (a byte path) and returns what it wrote to standard output.
QByteArray runAndRead(const QByteArray& program) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    QByteArray path = program;
    char* argv[] = {path.data(), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    QByteArray output;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    if (spawned == 0)
        ::waitpid(child, &status, 0);
    return output;
}

TEST(Desktop, ExecutableFolderKeepsEveryByteOfTheFolderName) {
    const QByteArray folders[] = {
        "plain",
        "with space",
        "\xe5\x86\x99\xe7\x9c\x9f",       // UTF-8 "写真"
        "\x8e\xca\x90\x5e",               // Shift-JIS "写真": not valid UTF-8
        "caf\xe9/\x93\xfa\x96\x7b/inner", // Latin-1 and Shift-JIS levels
    };
    test::TempTree tree;
    for (const QByteArray& folder : folders) {
        tree.mkdir(folder);
        const QByteArray copy = tree.path(folder + "/probe");
        std::filesystem::copy_file(ORLIX_EXECUTABLE_FOLDER_PROBE, copy.toStdString());
        const QByteArray reported = QByteArray::fromHex(runAndRead(copy));
        // The kernel reports the folder with symbolic links resolved (TMPDIR may hold one).
        const std::string expected = std::filesystem::canonical(tree.path(folder).toStdString());
        EXPECT_EQ(reported, QByteArray::fromStdString(expected)) << folder.toHex().constData();
    }
}

} // namespace
} // namespace orlix::platform

#include "DesktopTest.moc"
