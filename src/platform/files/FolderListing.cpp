#include "platform/files/FolderListing.h"

#include "platform/files/NativePath.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace orlix::platform {

namespace {

std::int16_t wordOf(const struct stat& info) {
    return S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
}

} // namespace

struct FolderListing::Impl {
    DIR* dir = nullptr;
    bool failed = false;
    // The last name and its type as the listing reports it. The name lies in the listing's own
    // buffer, which holds it until the next read.
    const char* lastName = nullptr;
    unsigned char lastType = DT_UNKNOWN;

    ~Impl() { close(); }

    void close() {
        if (dir)
            ::closedir(dir);
        dir = nullptr;
        lastName = nullptr;
    }
};

FolderListing::FolderListing() : impl_(std::make_unique<Impl>()) {}

FolderListing::~FolderListing() = default;

bool FolderListing::open(const QString& folder) {
    impl_->close();
    impl_->failed = false;
    // Through the native bytes: a folder whose name is not valid UTF-8 must open as well.
    impl_->dir = ::opendir(toNative(folder).constData());
    return impl_->dir != nullptr;
}

QString FolderListing::next() {
    return nextPath(QString());
}

QString FolderListing::nextPath(const QString& prefix) {
    if (!impl_->dir)
        return QString();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(impl_->dir);
        if (!entry) {
            impl_->failed = errno != 0;
            impl_->close();
            return QString();
        }
        const char* name = entry->d_name;
        const bool dotOrDotDot =
            name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
        if (name[0] == '.' && !dotOrDotDot)
            continue; // hidden
        impl_->lastName = name;
        impl_->lastType = entry->d_type;
        return fromNative(prefix, QByteArrayView(name));
    }
}

bool FolderListing::failed() const {
    return impl_->failed;
}

bool FolderListing::lastAttributeWord(std::int16_t& word) const {
    if (!impl_->dir || !impl_->lastName)
        return false;
    switch (impl_->lastType) {
    case DT_DIR:
        word = kAttrDirectory;
        return true;
    case DT_LNK:
    case DT_UNKNOWN:
        break; // a link is what it points to; some file systems do not report types
    default:
        word = kAttrArchive;
        return true;
    }
    struct stat info {};
    if (::fstatat(::dirfd(impl_->dir), impl_->lastName, &info, 0) != 0)
        return false;
    word = wordOf(info);
    return true;
}

bool readAttributeWord(const QString& path, std::int16_t& word) {
    struct stat info {};
    // stat, not lstat: a symbolic link is what it points to, and a dangling one cannot be read.
    if (::stat(toNative(path).constData(), &info) != 0)
        return false;
    word = wordOf(info);
    return true;
}

} // namespace orlix::platform
