#pragma once

#include "viewer/steps/FolderLister.h"
#include "viewer/steps/PictureProvider.h"
#include "viewer/steps/SettingsWindowLink.h"
#include "viewer/steps/StepHost.h"

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
    void showPicture(const DecodedPicture&, const PicturePlacement&, const FrameParams&) override {}
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

// Lists through `list` and decodes through `decode` (the fake tree, or ScanFolder and the
// program's decoder) when asked, and answers when the policy says. A redraw is answered with the
// picture shown; a cancel drops the answers of its kind still to come.
class PolicySource : public FolderLister, public PictureProvider {
public:
    using ListFunction = std::function<bool(const FolderLister::Request&, EntryList&)>;
    using DecodeFunction =
        std::function<PicturePtr(const QString& path, const SizeRequest& request)>;
    PolicySource(ListFunction list, DecodeFunction decode, AnswerPolicy& policy)
        : list_(std::move(list)), decode_(std::move(decode)), policy_(policy) {}

    void list(const FolderLister::Request& request, EntryList entries,
              FolderLister::Done done) override;
    void closeProgress() override {}
    void cancel() override { ++listings_; }
    void fetch(const QString& path, const SizeRequest& request,
               PictureProvider::Done done) override;
    void refine(const PicturePtr& shown, const SizeRequest&, PictureProvider::Done done) override;
    void prepare(const QString&, const SizeRequest&, const PicturePtr&, FullResolution) override {}
    void retire(PicturePtr) override {}
    void cancelAll() override { ++pictures_; }

private:
    void ask(const AnswerPolicy::Request& request, const int& generation,
             std::function<void()> answer);

    ListFunction list_;
    DecodeFunction decode_;
    AnswerPolicy& policy_;
    int listings_ = 0; // generations: an answer of an older one is dropped
    int pictures_ = 0;
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

    // Lists as ScanFolder does: the folders of the root (attrMask kDirectoriesMask) or the
    // pictures of a folder; false, and the entries left alone, for what cannot be listed.
    PolicySource::ListFunction lister() const;
    // Makes the picture at a path as a decoder does, one grey pixel of the picture's size.
    PolicySource::DecodeFunction decoder() const;
};

} // namespace orlix::test
