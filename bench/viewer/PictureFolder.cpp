#include "PictureFolder.h"

#include "ViewerBench.h"
#include "platform/files/NativePath.h"

#include <QBuffer>
#include <QImage>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orlix::bench {

namespace fs = std::filesystem;

namespace {

QByteArray tinyBmp() {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

} // namespace

PictureFolder::PictureFolder(int count, Kind kind) {
    std::string pattern = (fs::temp_directory_path() / "orlix-bench-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    const bool tiny = kind == Kind::Tiny;
    const QByteArray bytes = tiny ? tinyBmp() : bigJpeg();
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, tiny ? "/IMG_%05d.bmp" : "/p%02d.jpg", i);
        std::ofstream(root_ + name, std::ios::binary).write(bytes.constData(), bytes.size());
    }
}

void PictureFolder::touch() const {
    for (const fs::directory_entry& entry : fs::directory_iterator(root_))
        ::utimensat(AT_FDCWD, entry.path().c_str(), nullptr, 0);
}

PictureFolder::~PictureFolder() {
    fs::remove_all(root_);
}

QString PictureFolder::root() const {
    return platform::fromNative(QByteArray::fromStdString(root_));
}

QString PictureFolder::file(int i) const {
    return root() + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
}

} // namespace orlix::bench
