#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace orlix::platform {

// What tells whether a file is still the one read earlier: a picture decoded ahead is used
// only while its file has the same identity.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    // The inode's change time: a rewrite that puts the old modification time back (cp -p,
    // touch -r, archive tools) still moves it.
    std::int64_t changedNs = 0;

    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// Why a picture file could not be opened or read.
enum class FileError {
    None,
    NotFound,     // the file is gone
    AccessDenied, // the file may not be read
    NotAFile,     // a folder, a FIFO, a device, or a name that cannot be a file's
    TooLarge,     // the system cannot hold it
    ReadFailed,   // an input/output error
};

// A picture file opened for reading. It is opened by the path's native bytes (names that are
// not valid UTF-8 open too) and without blocking, and anything but a regular file is refused
// without being read, so a FIFO named like a picture cannot hang the show.
// Reads go by offset and hold no position, so the object may be read from any one thread at a
// time after it was opened on another.
class PictureFile {
public:
    // How the file's bytes are read: as pread() reads up to `length` bytes at `offset` of
    // `descriptor` into `data`, and with its result (the count, 0 at the end, or -1 with errno
    // set). Called on whichever thread reads the file.
    using ReadAt = std::function<std::int64_t(int descriptor, std::int64_t offset, char* data,
                                              std::int64_t length)>;
    // pread() itself.
    static std::int64_t preadAt(int descriptor, std::int64_t offset, char* data,
                                std::int64_t length);

    // The opened file, or null with `error` set; read through `read`.
    static std::shared_ptr<PictureFile> open(const QString& path, FileError& error,
                                             ReadAt read = preadAt);
    // A file another process opened and handed over as `descriptor` (owned from now on), with
    // the identity that process saw; it has no path. A decoder process cannot ask the system.
    static std::shared_ptr<PictureFile> adopt(int descriptor, const FileIdentity& identity);

    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // The file as it was when opened.
    const FileIdentity& identity() const { return identity_; }
    std::int64_t size() const { return identity_.size; }
    // The file as it is now (a rewrite in place changes it); a default identity when it cannot
    // be asked.
    FileIdentity currentIdentity() const;
    // Whether the file still holds what it held when opened, as far as the system tells.
    bool unchanged() const { return currentIdentity() == identity_; }
    // The path it was opened by.
    const QString& path() const { return path_; }
    // The open descriptor, for handing the file to another process; owned by this object.
    int descriptor() const { return descriptor_; }

    // Reads up to `length` bytes at `offset` into `data`: the count read, 0 at the end of the
    // file, -1 on a read error (error() then tells which).
    std::int64_t readAt(std::int64_t offset, char* data, std::int64_t length) const;

    // The error of the last failed read, FileError::None when none failed.
    FileError error() const;

private:
    PictureFile(int descriptor, ReadAt read);

    int descriptor_;
    const ReadAt read_;
    QString path_;
    FileIdentity identity_;
    struct ReadState;
    std::unique_ptr<ReadState> readState_;
};

} // namespace orlix::platform
