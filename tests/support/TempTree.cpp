#include "support/TempTree.h"

#include "platform/files/NativePath.h"
#include "support/OtherUser.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::test {

namespace fs = std::filesystem;

TempTree::TempTree() {
    const fs::path base = fs::temp_directory_path();
    std::string pattern = (base / "orlix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root_ = QByteArray::fromStdString(pattern);
}

TempTree::~TempTree() {
    std::error_code ignored;
    fs::permissions(root_.toStdString(), fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto it = fs::recursive_directory_iterator(
             root_.toStdString(), fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_.toStdString(), ignored);
}

QString TempTree::rootText() const {
    return platform::fromNative(root_);
}

QByteArray TempTree::path(const QByteArray& relative) const {
    return root_ + "/" + relative;
}

void TempTree::mkdir(const QByteArray& relative) const {
    fs::create_directories(path(relative).toStdString());
}

void TempTree::write(const QByteArray& relative, const QByteArray& contents) const {
    const fs::path file = path(relative).toStdString();
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(contents.constData(), contents.size());
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

void TempTree::symlink(const QByteArray& target, const QByteArray& relative) const {
    fs::create_symlink(target.toStdString(), path(relative).toStdString());
}

bool TempTree::make(const QByteArray& steps) const {
    for (const QByteArray& step : steps.split(' ')) {
        if (step.isEmpty())
            continue;
        const auto op = static_cast<qsizetype>(step.toStdString().find_first_of(":=>|"));
        const char kind = op >= 0                ? step[op]
                          : step.startsWith('~') ? '~'
                          : step.endsWith('/')   ? '/'
                                                 : 'f';
        const QByteArray name = op >= 0 ? step.left(op) : step.mid(kind == '~' ? 1 : 0);
        const QByteArray argument = step.mid(op + 1);
        const QByteArray at = path(name);
        int failed = 0;
        if (kind == '~' && ::geteuid() != 0)
            return false;
        if (kind == 'f' || kind == '=') {
            write(name, kind == '=' ? argument : QByteArray("x"));
        } else if (kind == '/') {
            mkdir(name);
            failed = ::chmod(at.constData(), 0700);
        } else if (kind == ':') {
            failed = ::chmod(at.constData(), argument.toUInt(nullptr, 8));
        } else if (kind == '>') {
            symlink(argument.startsWith('/') ? argument : path(argument), name);
        } else if (kind == '|') {
            failed = ::mkfifo(at.constData(), 0600);
        } else {
            failed = ::lchown(at.constData(), kNobody, kNobody);
        }
        EXPECT_EQ(failed, 0) << step.constData();
    }
    return true;
}

QByteArray encodedPicture(const QImage& image, const char* format, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(95); // close to the picture, for tests that compare decoded pixels
    if (!writer.write(image))
        bytes.clear();
    return bytes;
}

QByteArray quarterTurnedJpeg(const QImage& image) {
    const QByteArray plain = encodedPicture(image, "JPEG");
    // APP1 "Exif", a big-endian TIFF header, one entry: tag 0x0112, SHORT, count 1, value 6.
    const QByteArray app1 =
        QByteArray::fromHex("ffe10022457869660000"
                            "4d4d002a00000008000101120003000000010006000000000000");
    return plain.left(2) + app1 + plain.mid(2);
}

QImage filledImage(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray pictureFile(QSize size, QRgb colour, const char* format) {
    return encodedPicture(filledImage(size, colour), format);
}

} // namespace orlix::test
