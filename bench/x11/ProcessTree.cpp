#include "ProcessTree.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <unistd.h>

namespace orlix::bench {

namespace {

// The fields of /proc/<pid>/stat after the command, which may hold spaces and parentheses:
// the text after its last ')'. Field 3 of the file (the state) is the first of these.
QStringList statFields(std::int64_t process) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(process));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    const int end = text.lastIndexOf(')');
    if (end < 0)
        return {};
    return QString::fromLatin1(text.mid(end + 1)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Positions in statFields(): the parent, then utime, stime, cutime and cstime.
constexpr int kParentField = 1;
constexpr int kUserField = 11, kSystemField = 12, kChildUserField = 13, kChildSystemField = 14;

QString firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readLine()).trimmed();
}

double ticksToSeconds(double ticks) {
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

std::vector<std::int64_t> ProcessTree::processes() const {
    std::multimap<std::int64_t, std::int64_t> childrenOf;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const std::int64_t process = entry.toLongLong(&number);
        if (!number)
            continue;
        const QStringList fields = statFields(process);
        if (fields.size() > kParentField)
            childrenOf.emplace(fields[kParentField].toLongLong(), process);
    }
    std::vector<std::int64_t> tree;
    if (QFile::exists(QStringLiteral("/proc/%1").arg(root_)))
        tree.push_back(root_);
    for (std::size_t at = 0; at < tree.size(); ++at) {
        const auto range = childrenOf.equal_range(tree[at]);
        for (auto child = range.first; child != range.second; ++child)
            tree.push_back(child->second);
    }
    return tree;
}

double ProcessTree::processorSeconds() const {
    double ticks = 0;
    for (const std::int64_t process : processes()) {
        const QStringList fields = statFields(process);
        if (fields.size() > kChildSystemField) {
            for (const int field : {kUserField, kSystemField, kChildUserField, kChildSystemField})
                ticks += fields[field].toDouble();
        }
    }
    return ticksToSeconds(ticks);
}

double ProcessTree::processorSecondsOf(std::int64_t process) {
    const QStringList fields = statFields(process);
    if (fields.size() <= kSystemField)
        return 0;
    return ticksToSeconds(fields[kUserField].toDouble() + fields[kSystemField].toDouble());
}

std::int64_t ProcessTree::pssKiB(int* unreadable) const {
    std::int64_t total = 0;
    int missed = 0;
    for (const std::int64_t process : processes()) {
        QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(process));
        bool found = false;
        if (file.open(QIODevice::ReadOnly)) {
            QTextStream lines(&file);
            for (QString line; lines.readLineInto(&line);) {
                if (line.startsWith(QLatin1String("Pss:"))) {
                    total += line.mid(4).trimmed().split(QLatin1Char(' ')).value(0).toLongLong();
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            ++missed;
    }
    if (unreadable)
        *unreadable = missed;
    return total;
}

std::map<std::int64_t, ProcessTree::Thread> ProcessTree::threads() const {
    std::map<std::int64_t, Thread> threads;
    for (const std::int64_t process : processes()) {
        const QString folder = QStringLiteral("/proc/%1/task").arg(process);
        const QString processName = firstLine(QStringLiteral("/proc/%1/comm").arg(process));
        for (const QString& entry : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString task = folder + QLatin1Char('/') + entry;
            const QString schedule = firstLine(task + QStringLiteral("/schedstat"));
            if (schedule.isEmpty())
                continue;
            Thread thread;
            thread.name =
                processName + QLatin1Char('/') + firstLine(task + QStringLiteral("/comm"));
            thread.nanoseconds = schedule.split(QLatin1Char(' ')).value(0).toLongLong();
            threads[entry.toLongLong()] = thread;
        }
    }
    return threads;
}

} // namespace orlix::bench
