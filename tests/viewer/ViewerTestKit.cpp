#include "ViewerTestKit.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace orlix::test {

namespace {

// Qt reads GIF but does not write it: a minimal encoder for a picture of one colour. The LZW
// stream sends a clear code before every two pixels, so the code width stays at 3 bits.
QByteArray encodeGif(const QSize& size, const QColor& colour) {
    const auto le16 = [](int v) { return QByteArray(1, char(v & 0xff)) + char((v >> 8) & 0xff); };
    QByteArray gif("GIF89a");
    gif += le16(size.width()) + le16(size.height());
    gif += char(0x81); // a global table of 4 colours
    gif += QByteArray(2, '\0');
    const QColor table[4] = {Qt::black, colour, Qt::white, Qt::black};
    for (const QColor& c : table)
        gif += QByteArray(1, char(c.red())) + char(c.green()) + char(c.blue());
    gif += ',';
    gif += le16(0) + le16(0) + le16(size.width()) + le16(size.height());
    gif += char(0);
    gif += char(2); // minimum code size: clear 4, end 5

    QByteArray stream;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            stream += char(bits & 0xff);
            bits >>= 8;
            count -= 8;
        }
    };
    const qint64 pixels = qint64(size.width()) * size.height();
    for (qint64 i = 0; i < pixels; ++i) {
        if (i % 2 == 0)
            put(4);
        put(1);
    }
    put(5);
    if (count > 0)
        stream += char(bits & 0xff);
    for (int at = 0; at < stream.size(); at += 255) {
        const QByteArray block = stream.mid(at, 255);
        gif += char(block.size());
        gif += block;
    }
    gif += char(0);
    gif += ';';
    return gif;
}

} // namespace

QByteArray encodePicture(const QSize& size, const char* format, const QColor& colour) {
    if (qstrcmp(format, "GIF") == 0)
        return encodeGif(size, colour);
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        qFatal("cannot encode a test picture: %s", qPrintable(writer.errorString()));
    return bytes;
}

QByteArray jpegWithOrientation(const QSize& size, int orientation) {
    const QByteArray jpeg = encodePicture(size, "JPEG");
    // APP1 "Exif", a big-endian TIFF header and one IFD entry: tag 0x0112 (orientation),
    // type SHORT, count 1, the value.
    QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"
                                          "0001"
                                          "0112000300000001");
    tiff += char(0);
    tiff += char(orientation);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next IFD
    QByteArray payload = QByteArray("Exif", 4) + QByteArray(2, '\0') + tiff;
    const int length = payload.size() + 2;
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment += char(length >> 8);
    segment += char(length & 0xff);
    segment += payload;
    // Right after the start-of-image marker.
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace orlix::test
