#include "SeedWriter.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace orlix::fuzz {

SeedWriter::SeedWriter(QString root) : root_(std::move(root)) {}

void SeedWriter::add(const QString& target, const QString& name, const QByteArray& contents) {
    const QString folder = root_ + QLatin1Char('/') + target;
    QFile file(folder + QLatin1Char('/') + name);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(contents) != contents.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
    ++files_;
    bytes_ += contents.size();
}

} // namespace orlix::fuzz
