#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orlix::fuzz {

// Writes seed inputs into <root>/<target>/<name>, and counts what it wrote.
class SeedWriter {
public:
    explicit SeedWriter(QString root);

    void add(const QString& target, const QString& name, const QByteArray& contents);

    int files() const { return files_; }
    std::int64_t bytes() const { return bytes_; }

private:
    QString root_;
    int files_ = 0;
    std::int64_t bytes_ = 0;
};

} // namespace orlix::fuzz
