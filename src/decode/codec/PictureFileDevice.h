#pragma once

#include <QIODevice>

#include <atomic>

namespace orlix {

namespace platform {
class PictureFile;
}

// Qt's picture readers read from a QIODevice; this one reads a PictureFile and fails every
// read once `cancelled` turns true, so that an abandoned decode ends at its next read instead
// of running through the whole file. Make it on the thread that decodes.
class PictureFileDevice : public QIODevice {
public:
    PictureFileDevice(const platform::PictureFile& file, const std::atomic<bool>& cancelled);

    bool isSequential() const override { return false; }
    // The file's size now: a file that grows or shrinks while it is read is seen as it is.
    qint64 size() const override;

    // Whether a read failed because the file could not be read (not because of a cancel).
    bool readFailed() const { return readFailed_; }
    // Whether a read ended at the end of the file before it had what it asked for.
    bool shortRead() const { return shortRead_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const platform::PictureFile& file_;
    const std::atomic<bool>& cancelled_;
    bool readFailed_ = false;
    bool shortRead_ = false;
};

} // namespace orlix
