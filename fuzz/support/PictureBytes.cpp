#include "support/PictureBytes.h"

#include "decode/codec/PictureDecoder.h"
#include "support/Check.h"

#include <QBuffer>
#include <QImageReader>

#include <sys/mman.h>
#include <unistd.h>

namespace orlix::fuzz {

namespace {

std::int64_t pixelsOf(QSize size) {
    return size.isValid() ? std::int64_t(size.width()) * size.height() : 0;
}

} // namespace

std::shared_ptr<const platform::PictureFile> openInMemory(const QByteArray& bytes) {
    const int memory = memfd_create("fuzz-input", MFD_CLOEXEC);
    FUZZ_CHECK(memory >= 0);
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t count = ::write(memory, bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
        FUZZ_CHECK(count > 0);
        written += count;
    }
    platform::FileError error = platform::FileError::None;
    auto file = platform::PictureFile::open(QStringLiteral("/proc/self/fd/%1").arg(memory), error);
    ::close(memory);
    FUZZ_CHECK(file && error == platform::FileError::None);
    return file;
}

QSize claimedSize(const QByteArray& bytes) {
    const char* format = readerFormatOf(pictureKindOf(bytes.constData(), bytes.size()));
    if (*format == '\0')
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    QSize size = reader.size();
    if (qstrcmp(format, "gif") == 0 && bytes.size() >= 10) {
        const auto at = [&bytes](int i) { return static_cast<unsigned char>(bytes.at(i)); };
        const QSize screen(at(6) | (at(7) << 8), at(8) | (at(9) << 8));
        if (pixelsOf(screen) > pixelsOf(size))
            size = screen;
    }
    return size;
}

bool overFuzzBudget(QSize size) {
    return pixelsOf(size) > kFuzzPixelBudget;
}

} // namespace orlix::fuzz
