#include "platform/SingleInstance.h"

#include "startup/StartupHelpers.h"
#include "support/ScopedEnv.h"
#include "support/TempTree.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <map>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orlix::platform {
namespace {

using test::asNobody;
using test::kAllPlanted;
using test::kNobody;
using test::Planted;
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
    for (const auto& [home, want] : cases) {
        SCOPED_TRACE(home ? home : "(unset)");
        const ScopedEnv env("HOME", home);
        const Places places = SingleInstance::defaultPlaces();
        EXPECT_EQ(places.homes, want);
        EXPECT_EQ(places.runtime, runUser);
    }
}

// Where the lock goes, from a tree with the usable folders "home", "second" and "run" (0700)
// and a file "victim" of the user's. Each row changes the tree, then names the homes and the
// runtime folder to try (below the tree, or taken literally after "=") and the folder where
// the lock must be taken ("": nowhere, the copy runs). Nothing but the lock (and a missing
// .cache) may appear, and nothing already there may change.
TEST(SingleInstance, ChoosesThePlaceOthersCannotChange) {
    struct Row {
        const char* what;
        const char* want;
        std::function<void(const TempTree&)> setup;
        std::vector<const char*> homes = {"home", "second"};
        const char* runtime = "run";
    };
    const QByteArray name = SingleInstance::lockFileName();
    const QByteArray lockInHome = "home/.cache/" + name;
    const auto chmodAt = [](const TempTree& t, const char* at, mode_t mode) {
        ASSERT_EQ(::chmod(t.path(at).constData(), mode), 0) << at;
    };
    bool needsRoot = false; // giving files to another user does
    const auto giveToNobody = [&needsRoot](const TempTree& t, const char* at) {
        needsRoot = ::geteuid() != 0;
        ASSERT_TRUE(needsRoot || ::lchown(t.path(at).constData(), kNobody, kNobody) == 0) << at;
    };
    const auto mkdirAt = [&chmodAt](const TempTree& t, const char* at, mode_t mode) {
        t.mkdir(at);
        chmodAt(t, at, mode);
    };
    const auto inHomeCache = [&lockInHome](const TempTree& t) {
        t.mkdir("home/.cache");
        return t.path(lockInHome);
    };
    const std::vector<Row> rows = {
        {"HOME usable", "home/.cache", {}},
        {"HOME relative", "second/.cache", {}, {"=home", "second"}},
        {"HOME missing", "second/.cache", {}, {"missing", "second"}},
        {"HOME a file", "second/.cache", {}, {"victim", "second"}},
        {"HOME group-writable", "second/.cache", [&](auto& t) { chmodAt(t, "home", 0770); }},
        {"HOME writable by others", "second/.cache", [&](auto& t) { chmodAt(t, "home", 0703); }},
        {"HOME another user's", "second/.cache", [&](auto& t) { giveToNobody(t, "home"); }},
        {"HOME a link of the user's to the home",
         "link/.cache",
         [](auto& t) { t.symlink(t.path("home"), "link"); },
         {"link", "second"}},
        {"HOME inside a folder others can write",
         "second/.cache",
         [&](auto& t) {
             mkdirAt(t, "shared/in", 0700);
             chmodAt(t, "shared", 0777);
         },
         {"shared/in", "second"}},
        {"HOME inside a sticky folder others can write (as /tmp)",
         "shared/in/.cache",
         [&](auto& t) {
             mkdirAt(t, "shared/in", 0700);
             chmodAt(t, "shared", 01777);
         },
         {"shared/in", "second"}},
        {"HOME a link another user made in a sticky folder",
         "second/.cache",
         [&](auto& t) {
             mkdirAt(t, "shared", 01777);
             t.symlink(t.path("home"), "shared/link");
             giveToNobody(t, "shared/link");
         },
         {"shared/link", "second"}},
        {".cache missing in a home others can read", "home/.cache",
         [&](auto& t) { chmodAt(t, "home", 0755); }},
        {".cache a link to a folder of the user's", "home/.cache",
         [&](auto& t) {
             mkdirAt(t, "elsewhere", 0700);
             t.symlink(t.path("elsewhere"), "home/.cache");
         }},
        {".cache a link into /tmp", "second/.cache",
         [](auto& t) { t.symlink("/tmp", "home/.cache"); }},
        {".cache a link to another user's folder", "second/.cache",
         [&](auto& t) {
             mkdirAt(t, "theirs", 0700);
             giveToNobody(t, "theirs");
             t.symlink(t.path("theirs"), "home/.cache");
         }},
        {".cache group-writable", "second/.cache",
         [&](auto& t) { mkdirAt(t, "home/.cache", 0770); }},
        {".cache a file", "second/.cache", [](auto& t) { t.write("home/.cache"); }},
        {"lock file left by an earlier copy, kept as it is", "home/.cache",
         [&](auto& t) {
             t.write(lockInHome, "earlier");
             chmodAt(t, lockInHome.constData(), 0600);
         }},
        {"lock file others can read (they could hold its lock)", "second/.cache",
         [&](auto& t) {
             t.write(lockInHome, "earlier");
             chmodAt(t, lockInHome.constData(), 0644);
         }},
        {"lock file another user's", "second/.cache",
         [&](auto& t) {
             t.write(lockInHome);
             chmodAt(t, lockInHome.constData(), 0600);
             giveToNobody(t, lockInHome.constData());
         }},
        {"lock path a link to a file of the user's", "second/.cache",
         [&](auto& t) { ::symlink(t.path("victim").constData(), inHomeCache(t).constData()); }},
        {"lock path a FIFO", "second/.cache",
         [&](auto& t) { ::mkfifo(inHomeCache(t).constData(), 0600); }},
        {"lock path a folder", "second/.cache",
         [&](auto& t) { ::mkdir(inHomeCache(t).constData(), 0700); }},
        {"no usable home: the runtime folder", "run", {}, {"missing", "victim"}},
        {"runtime folder open to the group",
         "",
         [&](auto& t) { chmodAt(t, "run", 0750); },
         {"missing"}},
        {"runtime folder another user's",
         "",
         [&](auto& t) { giveToNobody(t, "run"); },
         {"missing"}},
        {"no place at all", "", {}, {}, ""}};

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempTree tree;
        for (const char* folder : {"home", "second", "run"}) {
            tree.mkdir(folder);
            ::chmod(tree.path(folder).constData(), 0700);
        }
        tree.write("victim", "precious");
        if (row.setup)
            row.setup(tree);
        if (std::exchange(needsRoot, false))
            continue;
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

// Another local user (nobody) tries to put a file, a link, a FIFO and a folder at every path the
// lock uses, and to open the lock file (holding its lock would keep the user out), before the
// lock exists and while a copy holds it: the system must refuse each attempt.
TEST(SingleInstance, NoOtherUserCanPlantAnythingWhereTheLockGoes) {
    TempTree tree;
    tree.mkdir("home");
    tree.write("victim", "precious");
    // Folders others can enter, so that each attempt meets the permissions of the place itself.
    ASSERT_EQ(::chmod(tree.root().constData(), 0755) | ::chmod(tree.path("home").constData(), 0755),
              0);
    ScopedEnv home("HOME", tree.path("home"));
    const Places places = SingleInstance::defaultPlaces();
    const QByteArrayList paths = SingleInstance::pathsUsed(places);
    const QByteArray lock = tree.path("home/.cache/" + SingleInstance::lockFileName());
    ASSERT_TRUE(paths.contains(lock));
    const QByteArray victim = tree.path("victim");
    const auto plantEverywhere = [&paths, &victim] {
        QByteArray report;
        for (const QByteArray& path : paths) {
            const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
            if (fd >= 0 && path.endsWith(SingleInstance::lockFileName()))
                report += "opened " + path + '\n';
            if (fd >= 0)
                ::close(fd);
            if (::unlink(path.constData()) == 0 || ::rmdir(path.constData()) == 0)
                report += "removed " + path + '\n';
            for (const Planted kind : kAllPlanted)
                if (test::plant(kind, path, victim)) {
                    report += QByteArray(test::nameOf(kind)) + " at " + path + '\n';
                    test::removeAt(path);
                }
        }
        return report;
    };

    const auto beforeTheLock = asNobody(plantEverywhere);
    if (!beforeTheLock)
        GTEST_SKIP() << "cannot become user nobody (65534): run as root";
    EXPECT_EQ(*beforeTheLock, "");
    const SingleInstance first(places);
    EXPECT_FALSE(first.anotherIsRunning());
    EXPECT_EQ(first.lockPath(), lock);
    EXPECT_EQ(asNobody(plantEverywhere).value_or("?"), "");
    EXPECT_TRUE(SingleInstance(places).anotherIsRunning());
}

} // namespace
} // namespace orlix::platform
