#include "support/OtherUser.h"

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlix::test {

namespace {
constexpr int kCannotChangeUser = 100;
} // namespace

std::optional<QByteArray> asNobody(const std::function<QByteArray()>& work) {
    if (::geteuid() != 0)
        return std::nullopt;
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(channel[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(kCannotChangeUser);
        const QByteArray report = work();
        for (qsizetype done = 0; done < report.size();) {
            const ssize_t n = ::write(channel[1], report.constData() + done, report.size() - done);
            if (n <= 0)
                ::_exit(1);
            done += n;
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) != 0;)
        if (n > 0)
            report.append(buffer, n);
        else if (errno != EINTR)
            break;
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotChangeUser)
        return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report.append("the child playing user nobody failed\n");
    return report;
}

} // namespace orlix::test
