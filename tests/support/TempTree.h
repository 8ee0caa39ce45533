#pragma once

#include <QByteArray>
#include <QRgb>
#include <QSize>
#include <QString>

class QImage;

#include <string>

namespace orlix::test {

// A scratch folder tree for one test, removed with everything in it when the object dies.
// Paths are byte strings so that tests can make names that are not valid UTF-8.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The root folder, without a trailing separator.
    const QByteArray& root() const { return root_; }
    QString rootText() const;

    // root + "/" + relative.
    QByteArray path(const QByteArray& relative) const;

    // Makes a folder (and its parents) below the root.
    void mkdir(const QByteArray& relative) const;
    // Writes a file below the root (parents made as needed).
    void write(const QByteArray& relative, const QByteArray& contents = QByteArray("x")) const;
    // Makes a symbolic link at `relative` pointing to `target` (taken as it stands).
    void symlink(const QByteArray& target, const QByteArray& relative) const;
    // Makes what `steps` (separated by spaces) say below the root, in order: "a" a file, "a=text"
    // a file holding the text, "a/" a folder (mode 0700), "a:755" a mode, "a>b" a link to b
    // (below the root, or absolute), "a|" a FIFO, "~a" a given to user nobody. False when a step
    // needs root, which this process is not.
    bool make(const QByteArray& steps) const;

private:
    QByteArray root_;
};

// The contents of a picture file of `image`, in `format` as Qt writes it; a JPEG written in
// progressive scans when `progressive`, at quality 95. Empty when Qt cannot write it.
QByteArray encodedPicture(const QImage& image, const char* format, bool progressive = false);
// A JPEG of `image` whose Exif orientation (6) says it is to be turned a quarter clockwise.
QByteArray quarterTurnedJpeg(const QImage& image);
// An RGB32 image of one colour.
QImage filledImage(QSize size, QRgb colour);
// The contents of a picture file of one colour.
QByteArray pictureFile(QSize size, QRgb colour, const char* format = "BMP");

} // namespace orlix::test
