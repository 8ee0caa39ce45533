// The program's start-up lockdown, tried from inside: starts the address opener and locks down
// as Main does, with the Landlock level capped at the first argument, then tries one thing after
// another and prints a line for each: "<what> ok" or "<what> <errno>". Then it connects to the
// display and the session bus as the program would, gives up new connections as Main does,
// tries what that refuses, checks that the open connections still serve and sends the second
// argument's address to the desktop's opener.
//   lockdown_probe <landlock cap> <address> <scratch folder> <picture> <tcp port>
#include "platform/desktop/Desktop.h"
#include "platform/desktop/ScreenSaverInhibitor.h"
#include "platform/sandbox/ProgramLockdown.h"
#include "support/LoopbackListener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QWindow>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/sched.h>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void report(const char* what, long result) {
    std::printf("%s %d\n", what, result >= 0 ? 0 : errno);
}

void check(const char* what, bool works) {
    std::printf("%s %d\n", what, works ? 0 : EIO);
}

// The outcome of a child that reports an errno as its status (0: what it tried went through).
long childOutcome(pid_t child) {
    if (child < 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    errno = WIFEXITED(status) ? WEXITSTATUS(status) : EINTR;
    return errno == 0 ? 0 : -1;
}

// Whether a program can be started: the child reports the exec's errno as its status.
long startProgram() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/true", "true", static_cast<char*>(nullptr));
        ::_exit(errno);
    }
    return childOutcome(child);
}

// Whether a program copied into memory can be started, which no file-system rule covers.
long startProgramFromMemory() {
    const int program = ::open("/bin/true", O_RDONLY | O_CLOEXEC);
    const int memory = ::memfd_create("program", 0);
    struct stat info {};
    if (program < 0 || memory < 0 || ::fstat(program, &info) != 0 ||
        ::sendfile(memory, program, nullptr, static_cast<std::size_t>(info.st_size)) !=
            info.st_size)
        return -1;
    ::close(program);
    const pid_t child = ::fork();
    if (child == 0) {
        char* const arguments[] = {const_cast<char*>("true"), nullptr};
        ::fexecve(memory, arguments, environ);
        ::_exit(errno);
    }
    ::close(memory);
    return childOutcome(child);
}

// A process made by the raw system call, as a program that wants no C library would: the child
// ends at once.
long makeProcess(long call, void* arguments, unsigned long flags) {
    const long child = call == SYS_clone3
                           ? ::syscall(SYS_clone3, arguments, sizeof(clone_args))
                           : ::syscall(SYS_clone, flags, nullptr, nullptr, nullptr, nullptr);
    if (child == 0)
        ::_exit(0);
    return childOutcome(static_cast<pid_t>(child));
}

long makeNamespaces() {
    return makeProcess(SYS_clone, nullptr, CLONE_NEWUSER | CLONE_NEWNET | SIGCHLD);
}

long cloneThree() {
    clone_args arguments{};
    arguments.exit_signal = SIGCHLD;
    return makeProcess(SYS_clone3, &arguments, 0);
}

// Lowers the priority of another process (a child that waits for its pipe to close).
long reniceOther() {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        char byte = 0;
        ::close(ends[1]);
        ::_exit(static_cast<int>(::read(ends[0], &byte, 1)));
    }
    const long result = ::setpriority(PRIO_PROCESS, static_cast<id_t>(child), 19);
    const int error = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    ::waitpid(child, nullptr, 0);
    errno = error;
    return result;
}

long makeSocket(int family, int type) {
    const int made = ::socket(family, type | SOCK_CLOEXEC, 0);
    if (made >= 0)
        ::close(made);
    return made;
}

long makeDatagramPair() {
    int ends[2] = {-1, -1};
    const long result = ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, ends);
    if (result == 0) {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    return result;
}

// An abstract socket that the probe binds, and a datagram socket to send to it from, both made
// before the lockdown as sockets a library had opened would be.
struct AbstractDatagrams {
    int receiver = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    socklen_t length = 0;

    AbstractDatagrams() {
        address.sun_family = AF_UNIX;
        const std::string name = "orlix-lockdown-probe-" + std::to_string(::getpid());
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        ::bind(receiver, reinterpret_cast<sockaddr*>(&address), length);
    }
    long send() const {
        return ::sendto(sender, "x", 1, 0, reinterpret_cast<const sockaddr*>(&address), length);
    }
};

long openAndClose(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6)
        return 2;
    const AbstractDatagrams datagrams;
    orlix::platform::startAddressOpener();
    const int cap = std::atoi(argv[1]);
    std::printf("level %d\n", orlix::platform::lockDownProgram(cap));
    const std::string folder = argv[3];
    const std::string existing = folder + "/existing";
    report("read", openAndClose(argv[4], O_RDONLY));
    report("create", openAndClose(folder + "/made", O_WRONLY | O_CREAT | O_EXCL));
    report("write", openAndClose(existing, O_WRONLY));
    report("truncate", ::truncate(existing.c_str(), 0));
    report("open-truncating", openAndClose(existing, O_RDONLY | O_TRUNC));
    report("rename", ::rename(existing.c_str(), (folder + "/renamed").c_str()));
    report("remove", ::unlink(existing.c_str()));
    report("make-folder", ::mkdir((folder + "/folder").c_str(), 0700));
    report("change-mode", ::chmod(existing.c_str(), 0600));
    report("start-program", startProgram());
    report("start-from-memory", startProgramFromMemory());
    report("namespaces", makeNamespaces());
    report("clone3", cloneThree());
    report("renice-other", reniceOther());
    report("connect-tcp", orlix::test::connectLoopback(std::atoi(argv[5])));
    report("signal", ::kill(::getppid(), SIGURG));
    std::fflush(stdout);

    QGuiApplication app(argc, argv);
    QWindow window;
    window.resize(64, 64);
    window.show();
    orlix::platform::connectSessionBus();
    check("connections-closed", orlix::platform::lockDownConnections(cap));
    report("unix-socket", makeSocket(AF_UNIX, SOCK_STREAM));
    report("tcp-socket", makeSocket(AF_INET, SOCK_STREAM));
    report("datagram-pair", makeDatagramPair());
    report("abstract-datagram", datagrams.send());
    report("signal-zero", ::kill(::getppid(), 0));
    check("display", app.platformName() == QLatin1String("xcb") && window.winId() != 0);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    check("session-bus",
          bus.isConnected() && bus.interface()->isServiceRegistered(bus.baseService()));
    orlix::platform::openAddress(QString::fromLocal8Bit(argv[2]));
    return 0;
}
