#pragma once

#include "viewer/FolderLister.h"
#include "viewer/PictureProvider.h"
#include "viewer/SettingsWindowLink.h"
#include "viewer/StepHost.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

// Stand-ins for what the slide-step machine talks to: a window that records what it is asked
// to show, and folder listings and pictures answered when a test's policy says so.
namespace orlix::test {

// What a viewer showed, in order: its captions, the texts of its failure boxes and the ticks it
// put in the settings window's check boxes.
struct ShowRecord : SettingsWindowLink {
    void setRealSizeCheck(std::int16_t value) override { realSizeChecks.push_back(value); }
    void setGuideCheck(std::int16_t value) override { guideChecks.push_back(value); }

    QStringList captions, boxes;
    std::vector<std::int16_t> realSizeChecks, guideChecks;
};

// What a viewer window was asked to show, with its slide timer as Qt keeps one: every start,
// stop or restart (a new interval on a running timer) begins a new run of it.
class RecordingHost : public StepHost, public ShowRecord {
public:
    struct Timer {
        bool running = false;
        std::uint32_t run = 0;
    };

    explicit RecordingHost(int guideHeightTwips) : guideHeight_(guideHeightTwips) {}

    void startSlideTimer(int) override { timer = {true, timer.run + 1}; }
    void stopSlideTimer() override { timer = {false, timer.run + 1}; }
    void setSlideInterval(int) override { timer.run += timer.running ? 1 : 0; }
    void loaded(bool) override {}
    void markGuide(GuideLabel) override {}
    void paintGuide() override {}
    void setPaused(bool) override {}
    void showGuide(bool) override {}
    void setCaption(const QString& caption) override { captions << caption; }
    int guideHeightTwips() const override { return guideHeight_; }
    QByteArray displayProfile() const override { return QByteArray(); }
    void hidePicture() override {}
    void showPicture(const DecodedPicture&, const ViewParams&, const PicturePlacement&,
                     std::int32_t, std::int32_t) override {}
    void forgetFrames() override {}
    void warn(const QString& text) override { boxes << text; }
    void hideViewer() override { stopSlideTimer(); }
    void closeViewer() override { stopSlideTimer(); }

    Timer timer;

private:
    int guideHeight_;
};

// Decides when a listing or picture that the machine asks for is answered.
class AnswerPolicy {
public:
    enum class Kind { Listing, Picture };
    struct Request {
        Kind kind = Kind::Picture;
        bool withProgress = false;
        QString path;
    };
    virtual ~AnswerPolicy() = default;
    // `answer` answers the request: now, or later, or never once it is cancelled.
    virtual void asked(const Request& request, std::function<void()> answer) = 0;
};

// A folder tree in memory: its folders' pictures, with their sizes or their failures.
struct FakeTree {
    struct Picture {
        QString name;
        QSize size;
        LoadError error = LoadError::None;
    };
    struct Folder {
        QString name;
        std::vector<Picture> pictures;
    };

    QString root = QStringLiteral("/show");
    std::vector<Picture> pictures; // in the root itself
    std::vector<Folder> folders;

    // As ScanFolder lists: the folders of the root (attrMask kDirectoriesMask) or the
    // pictures of a folder. False, and `entries` left alone, for what cannot be listed.
    bool list(const FileEntry& folder, std::int16_t attrMask, EntryList& entries) const;
    // The picture at `path` as a decoder makes it for `view`.
    PicturePtr decode(const QString& path, const ViewParams& view) const;
};

// Lists through a lister function (the fake tree, or ScanFolder itself) when asked, and
// answers when the policy says.
class PolicyLister : public FolderLister {
public:
    using ListFunction = std::function<bool(const Request&, EntryList&)>;
    PolicyLister(ListFunction list, AnswerPolicy& policy)
        : list_(std::move(list)), policy_(policy) {}

    void list(const Request& request, EntryList entries, Done done) override;
    void closeProgress() override {}
    void cancel() override { ++generation_; }

private:
    ListFunction list_;
    AnswerPolicy& policy_;
    int generation_ = 0;
};

// Decodes through a decode function (the fake tree, or the program's decoder) when asked, and
// answers when the policy says. A redraw is answered with the picture shown.
class PolicyPictures : public PictureProvider {
public:
    using DecodeFunction = std::function<PicturePtr(const QString& path, const ViewParams& view)>;
    PolicyPictures(DecodeFunction decode, AnswerPolicy& policy)
        : decode_(std::move(decode)), policy_(policy) {}

    void fetch(const QString& path, const ViewParams& view, Done done) override;
    void refine(const PicturePtr& shown, const ViewParams& view, Done done) override;
    void prepare(const QString&, const ViewParams&, const PicturePtr&) override {}
    void retire(PicturePtr) override {}
    void cancelAll() override { ++generation_; }

private:
    void answer(const QString& path, PicturePtr picture, Done done);

    DecodeFunction decode_;
    AnswerPolicy& policy_;
    int generation_ = 0;
};

} // namespace orlix::test
