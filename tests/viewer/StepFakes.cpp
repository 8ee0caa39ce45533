#include "viewer/StepFakes.h"

#include <QImage>

#include <memory>

namespace orlix::test {

bool FakeTree::list(const FileEntry& folder, std::int16_t attrMask, EntryList& entries) const {
    if ((folder.Attributes & kDirectoryBit) == 0)
        return false;
    const auto fill = [&](const auto& items, std::int16_t attributes) {
        entries.clear();
        for (const auto& item : items)
            entries.push_back({folder.Path + QLatin1Char('/') + item.name, attributes});
        return !entries.empty();
    };
    if (folder.Path == root)
        return attrMask == kDirectoriesMask ? fill(folders, kDirectoryBit) : fill(pictures, 32);
    for (const Folder& f : folders) {
        if (folder.Path == root + QLatin1Char('/') + f.name)
            return fill(f.pictures, 32);
    }
    return false;
}

PicturePtr FakeTree::decode(const QString& path, const ViewParams& view) const {
    static const QImage dot = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.fill(Qt::gray);
        return image;
    }();
    auto picture = std::make_shared<DecodedPicture>();
    picture->path = path;
    picture->view = view;
    picture->error = LoadError::FileNotFound;
    const auto match = [&](const std::vector<Picture>& in, const QString& folder) {
        for (const Picture& p : in) {
            if (path == folder + QLatin1Char('/') + p.name) {
                picture->error = p.error;
                picture->pixelSize = p.size;
                picture->image = dot; // what the machine lays out is the size
            }
        }
    };
    match(pictures, root);
    for (const Folder& f : folders)
        match(f.pictures, root + QLatin1Char('/') + f.name);
    if (picture->error != LoadError::None)
        picture->image = QImage();
    return picture;
}

void PolicyLister::list(const Request& request, EntryList entries, Done done) {
    const bool found = list_(request, entries);
    policy_.asked({AnswerPolicy::Kind::Listing, request.withProgress, request.folder.Path},
                  [this, generation = generation_, found, entries = std::move(entries),
                   done = std::move(done)]() mutable {
                      if (generation == generation_)
                          done(found, std::move(entries));
                  });
}

void PolicyPictures::fetch(const QString& path, const ViewParams& view, Done done) {
    answer(path, decode_(path, view), std::move(done));
}

void PolicyPictures::refine(const PicturePtr& shown, const ViewParams&, Done done) {
    answer(shown ? shown->path : QString(), shown, std::move(done));
}

void PolicyPictures::answer(const QString& path, PicturePtr picture, Done done) {
    policy_.asked(
        {AnswerPolicy::Kind::Picture, false, path},
        [this, generation = generation_, picture = std::move(picture), done = std::move(done)] {
            if (generation == generation_)
                done(picture);
        });
}

} // namespace orlix::test
