#include "support/OtherUser.h"

#include <QTemporaryFile>

#include <cerrno>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix::test {

namespace {
constexpr int kCannotChangeUser = 100;
} // namespace

std::optional<QByteArray> asNobody(const std::function<QByteArray()>& work) {
    // Opened before the change of user: the child writes its report through the inherited
    // descriptor into a file that user nobody could not open.
    QTemporaryFile channel;
    if (::geteuid() != 0 || !channel.open())
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(kCannotChangeUser);
        const QByteArray report = work();
        const bool written =
            ::write(channel.handle(), report.constData(), report.size()) == report.size();
        ::_exit(written ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotChangeUser)
        return std::nullopt;
    channel.seek(0);
    QByteArray report = channel.readAll();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report.append("the child playing user nobody failed\n");
    return report;
}

} // namespace orlix::test
