#include "platform/desktop/SingleInstance.h"

#include "startup/StartupHelpers.h"
#include "support/ProgramRun.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orlix::platform {
namespace {

using test::flockHolders;
using test::ScopedEnv;
using test::snapshot;
using test::TempTree;
using Places = SingleInstance::Places;

TEST(SingleInstance, DefaultPlacesAreHomeThenAccountHomeThenRunUser) {
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(SingleInstance::lockFileName(), "orlix-" + QByteArray(host) + ".lock");

    const passwd* account = ::getpwuid(::geteuid());
    ASSERT_NE(account, nullptr);
    const QByteArray accountHome(account->pw_dir);
    const QByteArray runUser = "/run/user/" + QByteArray::number(::geteuid());
    // `homes`: what $HOME holds (null: unset); the account's home follows unless the same.
    const std::pair<const char*, QByteArrayList> cases[] = {
        {"/srv/elsewhere", {"/srv/elsewhere", accountHome}},
        {"relative/home", {accountHome}},
        {"", {accountHome}},
        {nullptr, {accountHome}},
        {accountHome.constData(), {accountHome}}};
    // The runtime folder the environment names is not taken: earlier versions locked there, in
    // a folder only required to be the user's.
    const ScopedEnv runtime("XDG_RUNTIME_DIR", "/tmp");
    for (const auto& [home, want] : cases) {
        SCOPED_TRACE(home ? home : "(unset)");
        const ScopedEnv env("HOME", home);
        const Places places = SingleInstance::defaultPlaces();
        EXPECT_EQ(places.homes, want);
        EXPECT_EQ(places.runtime, runUser);
    }
}

// Where the lock goes, from a tree with the usable folders "home", "second" and "run" (0700)
// and a file "victim" of the user's. Each row changes the tree by its steps, in order: "a/" makes
// a folder (0700), "a:755" sets a mode, "a=text" writes a file, "a>b" links a to b (below the
// tree, or absolute), "a|" makes a FIFO and "~a" gives a to another user; "@" stands for the
// lock's path in home/.cache. Then it names the homes and the runtime folder to try (below the
// tree, or taken literally after "=") and the folder where the lock must be taken ("": nowhere,
// the copy runs). Nothing but the lock (and a missing .cache) may appear, and nothing already
// there may change.
TEST(SingleInstance, ChoosesThePlaceOthersCannotChange) {
    struct Row {
        const char* what;
        const char* want;
        const char* steps;
        std::vector<const char*> homes = {"home", "second"};
        const char* runtime = "run";
    };
    const QByteArray name = SingleInstance::lockFileName();
    // clang-format off
    const std::vector<Row> rows = {
        {"HOME usable", "home/.cache", ""},
        {"HOME relative", "second/.cache", "", {"=home", "second"}},
        {"HOME missing", "second/.cache", "", {"missing", "second"}},
        {"HOME a file", "second/.cache", "", {"victim", "second"}},
        {"HOME group-writable", "second/.cache", "home:770"},
        {"HOME writable by others", "second/.cache", "home:703"},
        {"HOME another user's", "second/.cache", "~home"},
        {"HOME a link of the user's to the home", "link/.cache", "link>home", {"link", "second"}},
        {"HOME inside a folder others can write", "second/.cache", "shared/in/ shared:777",
         {"shared/in", "second"}},
        {"HOME inside a sticky folder others can write (as /tmp)", "shared/in/.cache",
         "shared/in/ shared:1777", {"shared/in", "second"}},
        {"HOME a link another user made in a sticky folder", "second/.cache",
         "shared/ shared:1777 shared/link>home ~shared/link", {"shared/link", "second"}},
        {".cache missing in a home others can read", "home/.cache", "home:755"},
        {".cache a link to a folder of the user's", "home/.cache", "elsewhere/ home/.cache>elsewhere"},
        {".cache a link into /tmp", "second/.cache", "home/.cache>/tmp"},
        {".cache a link to another user's folder", "second/.cache", "theirs/ ~theirs home/.cache>theirs"},
        {".cache group-writable", "second/.cache", "home/.cache/ home/.cache:770"},
        {".cache a file", "second/.cache", "home/.cache=x"},
        {"lock file left by an earlier copy, kept as it is", "home/.cache", "@=earlier @:600"},
        {"lock file others can read (they could hold its lock)", "second/.cache", "@=earlier @:644"},
        {"lock file another user's", "second/.cache", "@=x @:600 ~@"},
        {"lock path a link to a file of the user's", "second/.cache", "home/.cache/ @>victim"},
        {"lock path a FIFO", "second/.cache", "home/.cache/ @|"},
        {"lock path a folder", "second/.cache", "@/"},
        {"no usable home: the runtime folder", "run", "", {"missing", "victim"}},
        {"runtime folder open to the group", "", "run:750", {"missing"}},
        {"runtime folder another user's", "", "~run", {"missing"}},
        {"no place at all", "", "", {}, ""}};
    // clang-format on

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempTree tree;
        for (const char* folder : {"home", "second", "run"}) {
            tree.mkdir(folder);
            ::chmod(tree.path(folder).constData(), 0700);
        }
        tree.write("victim", "precious");
        if (!tree.make(QByteArray(row.steps).replace("@", "home/.cache/" + name)))
            continue; // giving files to another user needs root
        Places places;
        const auto placed = [&tree](const char* at) {
            return at[0] == '=' ? QByteArray(at + 1) : tree.path(at);
        };
        for (const char* home : row.homes)
            places.homes.append(placed(home));
        places.runtime = *row.runtime ? placed(row.runtime) : QByteArray();
        const auto before = snapshot(tree.root());

        const SingleInstance instance(places);
        EXPECT_FALSE(instance.anotherIsRunning());
        const QByteArray want = *row.want ? tree.path(row.want) + '/' + name : QByteArray();
        EXPECT_EQ(instance.lockPath(), want);

        // Nothing changes but a new lock file, where it really lies, and a .cache made for it;
        // a lock file already there stays as it was.
        auto expected = before;
        if (!want.isEmpty()) {
            const QString real = QFileInfo(QString::fromLocal8Bit(want)).canonicalFilePath();
            ASSERT_FALSE(real.isEmpty()) << "no lock file at the lock path";
            const std::string lock =
                QDir(QString::fromLocal8Bit(tree.root())).relativeFilePath(real).toStdString();
            const std::string owner = ' ' + std::to_string(::geteuid());
            expected.emplace(lock, std::to_string(S_IFREG | 0600) + owner + ' ');
            expected.emplace(lock.substr(0, lock.rfind('/')),
                             std::to_string(S_IFDIR | 0700) + owner);
        }
        EXPECT_EQ(snapshot(tree.root()), expected);
    }
}

// The real program, started as a user would start it, with a private home folder (mode 0700)
// so that the tests never meet a copy the developer is running. The copies that end must leave
// the lock with the one that runs; kill -9 leaves that one no chance to clean up, and the lock
// must not outlive it.
TEST(SecondCopy, OfTenStartedAtOnceOneRunsAndItsLockDiesWithIt) {
    TempTree tree;
    tree.mkdir("home");
    ASSERT_EQ(::chmod(tree.path("home").constData(), 0700), 0);
    const QByteArray lock = tree.path("home/.cache/" + SingleInstance::lockFileName());
    const auto start = [&tree] {
        auto copy = std::make_unique<test::ProgramRun>(QStringLiteral(ORLIX_BIN_DIR "/orlix"));
        copy->environment.insert("HOME", QString::fromLocal8Bit(tree.path("home")));
        copy->environment.insert("QT_QPA_PLATFORM", "offscreen");
        copy->start();
        return copy;
    };
    // True once `copy` holds the lock, and it alone.
    const auto holdsTheLock = [&lock](const test::ProgramRun& copy) {
        return QTest::qWaitFor(
            [&] {
                return copy.running() &&
                       flockHolders(lock) == QList<qint64>{copy.process.processId()};
            },
            10000);
    };

    std::vector<std::unique_ptr<test::ProgramRun>> copies;
    for (int i = 0; i < 10; ++i)
        copies.push_back(start());
    std::vector<test::ProgramRun*> running;
    // The ASSERT below says what the wait did not reach.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            running.clear();
            for (const auto& copy : copies)
                if (copy->running() && !copy->process.waitForFinished(10))
                    running.push_back(copy.get());
            return running.size() <= 1;
        },
        20000));
    ASSERT_EQ(running.size(), 1u);
    EXPECT_TRUE(holdsTheLock(*running.front()));
    for (const auto& copy : copies)
        if (copy.get() != running.front())
            copy->expectEnded();
    EXPECT_TRUE(holdsTheLock(*running.front())) << "a copy took the lock with it as it went";

    running.front()->process.kill();
    ASSERT_TRUE(running.front()->process.waitForFinished(10000));
    EXPECT_EQ(flockHolders(lock), QList<qint64>());
    copies.clear();
    EXPECT_TRUE(holdsTheLock(*start())) << "the restarted copy never took the lock";
}

} // namespace
} // namespace orlix::platform
