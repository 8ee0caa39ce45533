#include "viewer/StepFakes.h"

#include <QImage>

#include <memory>

namespace orlix::test {

PolicySource::ListFunction FakeTree::lister() const {
    return [this](const FolderLister::Request& request, EntryList& entries) {
        const FileEntry& folder = request.folder;
        if ((folder.Attributes & kDirectoryBit) == 0)
            return false;
        const auto fill = [&](const auto& items, std::int16_t attributes) {
            entries.clear();
            for (const auto& item : items)
                entries.push_back({folder.Path + QLatin1Char('/') + item.name, attributes});
            return !entries.empty();
        };
        if (folder.Path == root)
            return request.attrMask == kDirectoriesMask ? fill(folders, kDirectoryBit)
                                                        : fill(pictures, 32);
        for (const Folder& f : folders) {
            if (folder.Path == root + QLatin1Char('/') + f.name)
                return fill(f.pictures, 32);
        }
        return false;
    };
}

PolicySource::DecodeFunction FakeTree::decoder() const {
    return [this](const QString& path, const SizeRequest& request) {
        auto picture = std::make_shared<DecodedPicture>();
        picture->path = path;
        picture->request = request;
        picture->error = LoadError::FileNotFound;
        const auto match = [&](const std::vector<Picture>& in, const QString& folder) {
            for (const Picture& p : in) {
                if (path == folder + QLatin1Char('/') + p.name) {
                    picture->error = p.error;
                    picture->pixelSize = p.size;
                }
            }
        };
        match(pictures, root);
        for (const Folder& f : folders)
            match(f.pictures, root + QLatin1Char('/') + f.name);
        if (picture->error == LoadError::None) { // what the machine lays out is the size
            picture->image = QImage(1, 1, QImage::Format_RGB32);
            picture->image.fill(Qt::gray);
        }
        return picture;
    };
}

void PolicySource::list(const FolderLister::Request& request, EntryList entries,
                        FolderLister::Done done) {
    const bool found = list_(request, entries);
    ask({AnswerPolicy::Kind::Listing, request.withProgress, request.folder.Path}, listings_,
        [found, entries = std::move(entries), done = std::move(done)]() mutable {
            done(found, std::move(entries));
        });
}

void PolicySource::fetch(const QString& path, const SizeRequest& request,
                         PictureProvider::Done done) {
    ask({AnswerPolicy::Kind::Picture, false, path}, pictures_,
        [picture = decode_(path, request), done = std::move(done)] { done(picture); });
}

void PolicySource::refine(const PicturePtr& shown, const SizeRequest&, PictureProvider::Done done) {
    ask({AnswerPolicy::Kind::Picture, false, shown ? shown->path : QString()}, pictures_,
        [shown, done = std::move(done)] { done(shown); });
}

void PolicySource::ask(const AnswerPolicy::Request& request, const int& generation,
                       std::function<void()> answer) {
    policy_.asked(request, [&generation, asked = generation, answer = std::move(answer)] {
        if (asked == generation)
            answer();
    });
}

} // namespace orlix::test
