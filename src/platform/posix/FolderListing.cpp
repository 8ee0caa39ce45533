#include "platform/FolderListing.h"

#include "platform/NativePath.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace orlix::platform {

struct FolderListing::Impl {
    DIR* dir = nullptr;
    bool failed = false;

    ~Impl() { close(); }

    void close() {
        if (dir)
            ::closedir(dir);
        dir = nullptr;
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
        return fromNative(QByteArray(name));
    }
}

bool FolderListing::failed() const {
    return impl_->failed;
}

bool readAttributeWord(const QString& path, std::int16_t& word) {
    struct stat info {};
    // stat, not lstat: a symbolic link is what it points to, and a dangling one cannot be read.
    if (::stat(toNative(path).constData(), &info) != 0)
        return false;
    word = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
    return true;
}

} // namespace orlix::platform
