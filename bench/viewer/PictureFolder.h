#pragma once

#include <QString>

#include <string>

namespace orlix::bench {

// A scratch folder, removed with the object: `count` copies of the big photo
// (p00.jpg, p01.jpg, ...), or `count` tiny pictures.
class PictureFolder {
public:
    enum class Kind { Photos, Tiny };

    explicit PictureFolder(int count, Kind kind = Kind::Photos);
    ~PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    QString root() const;
    // The i-th photo.
    QString file(int i) const;
    // Gives every file a new modification time: a picture kept or decoded from one before is
    // then read anew, as that of a file changed since.
    void touch() const;
    const std::string& native() const { return root_; }

private:
    std::string root_;
};

} // namespace orlix::bench
