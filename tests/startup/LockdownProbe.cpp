// The program's start-up lockdown, tried from inside: starts the address opener and locks down
// as Main does, with the Landlock level capped at the first argument, then tries one thing after
// another and prints a line for each: "<what> ok" or "<what> <errno>". Then it connects to the
// display and the session bus as the program would, and sends the second argument's address to
// the desktop's opener.
//   lockdown_probe <landlock cap> <address> <scratch folder> <picture> <tcp port>
#include "platform/desktop/Desktop.h"
#include "platform/sandbox/ProgramLockdown.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>
#include <QWindow>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void report(const char* what, long result) {
    std::printf("%s %d\n", what, result >= 0 ? 0 : errno);
}

void check(const char* what, bool works) {
    std::printf("%s %d\n", what, works ? 0 : EIO);
}

long connectTo(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long result = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(socket);
    errno = error;
    return result;
}

// Whether a program can be started: the child reports the exec's errno as its status.
long startProgram() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl("/bin/true", "true", static_cast<char*>(nullptr));
        ::_exit(errno);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    errno = WIFEXITED(status) ? WEXITSTATUS(status) : EINTR;
    return errno == 0 ? 0 : -1;
}

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
    orlix::platform::startAddressOpener();
    std::printf("level %d\n", orlix::platform::lockDownProgram(std::atoi(argv[1])));
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
    report("connect-tcp", connectTo(std::atoi(argv[5])));
    report("signal", ::kill(::getppid(), SIGURG));
    std::fflush(stdout);

    QGuiApplication app(argc, argv);
    QWindow window;
    window.resize(64, 64);
    window.show();
    check("display", app.platformName() == QLatin1String("xcb") && window.winId() != 0);
    const QDBusConnection bus = QDBusConnection::sessionBus();
    check("session-bus",
          bus.isConnected() && bus.interface()->isServiceRegistered(bus.baseService()));
    orlix::platform::openAddress(QString::fromLocal8Bit(argv[2]));
    return 0;
}
