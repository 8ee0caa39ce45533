#pragma once

#include "decode/codec/PictureDecoder.h"
#include "viewer/sources/DecodeWorker.h"
#include "viewer/sources/PictureLoader.h"
#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/PictureProvider.h"
#include "viewer/steps/SizeRequest.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace orlix {

// Where the viewer gets its pictures. It lives on the GUI thread and keeps the decoding
// thread busy with what the show will want next: the picture after the one on screen, in the
// show's direction, and, once the show has asked for a full resolution, that of a picture
// shown reduced. Of the picture shown before the one on screen its frame is kept, for a step
// back. Every answer comes back on the GUI thread; a decode made for one path, size request
// and file content is never used for another, and no file is opened or read on the GUI
// thread.
class PictureSource : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(PicturePtr)>;
    // Told, on the GUI thread, whenever the decoding thread goes from having nothing queued or
    // running to having something (true), and back (false).
    using BusyNotice = std::function<void(bool busy)>;

    // `decoder` null: the program's own decoder. `busyNotice` may be null.
    explicit PictureSource(std::shared_ptr<PictureDecoder> decoder = nullptr,
                           BusyNotice busyNotice = nullptr);
    // Abandons every decode; the decoding thread stops at its next check (see DecodeWorker).
    ~PictureSource() override;

    // The picture at `path` as `request` asks, for a slide step that moves onto it. The file
    // is opened for this step, so that a file that is gone or unreadable fails at this step
    // exactly as it would without decoding ahead. A picture decoded earlier (ahead, the one on
    // screen or the one before it) is used when it serves this path and request from the file
    // now at `path`, unchanged since; anything else is decoded now. `done` runs once, later, on
    // this thread, and never after cancel().
    void fetch(const QString& path, const SizeRequest& request, Done done);

    // `shown` made fit for `request` after a switch of real size or the guide, or a pan: itself
    // when it will do (at once, before refine returns), its full resolution when that is at
    // hand or under way, else its file decoded again (see PictureLoader::reload). `done` as for
    // fetch.
    void refine(const PicturePtr& shown, const SizeRequest& request, Done done);

    // After a step: decodes `nextPath` ahead as `request` asks (empty: nothing is decoded
    // ahead, and a decode ahead that is under way is abandoned), and, with `shownWhole` Ahead
    // and `shown` reduced, the full resolution of `shown` after that.
    void prepare(const QString& nextPath, const SizeRequest& request, const PicturePtr& shown,
                 FullResolution shownWhole);

    // Lets go of a picture the viewer no longer shows, on the decoding thread.
    void retire(PicturePtr picture);

    // Abandons the pending fetch or refine; its `done` never runs.
    void cancel();
    // Abandons everything.
    void cancelAll();

private:
    // A decode kept or under way for later use.
    struct Slot {
        DecodeWorker::JobId job = 0;
        QString path;
        SizeRequest request;
        PicturePtr source; // for a full-resolution decode: the picture it refines
        PicturePtr result;
    };
    using Work = std::function<PicturePtr(const PictureLoader&, const std::atomic<bool>&)>;
    // What a demand runs next once its job came back with `arrived`; null: `arrived` is the
    // answer.
    using FollowUp = std::function<Work(const PicturePtr& arrived)>;

    // Takes the oldest result the decoding thread left in the inbox; one call per result.
    Q_INVOKABLE void takeResult();
    void received(DecodeWorker::JobId job, PicturePtr picture);
    DecodeWorker::JobId submit(Work work, DecodeWorker::Priority priority);
    void demand(Work work, Done done);
    void takeOver(Slot& slot, Done done, FollowUp followUp);
    static Work reloadOf(const PicturePtr& shown, const SizeRequest& request);
    void drop(Slot& slot);
    // Tells the busy notice when the decoding thread has gone from idle to busy or back.
    void noteBusy();
    // The picture kept or at hand that may serve `path` for `request`, if its file is
    // unchanged.
    PicturePtr candidateFor(const QString& path, const SizeRequest& request) const;

    const std::shared_ptr<const PictureLoader> loader_;
    Slot ahead_;
    Slot background_; // the full resolution of `shown_`
    PicturePtr shown_;
    // The frame of the picture shown before `shown_`: a step back onto it, the commonest step
    // against the show's direction, shows it at once.
    PicturePtr behind_;

    DecodeWorker::JobId demandJob_ = 0;
    Done demandDone_;
    FollowUp followUp_;

    // Jobs whose result is still to come; the decoding thread is busy while there are any.
    std::set<DecodeWorker::JobId> pending_;
    const BusyNotice busyNotice_;
    bool busy_ = false; // as last told
    // Results handed over by the decoding thread, oldest first. A standard mutex guards them
    // rather than Qt's event queue alone, so that the hand-over is one ThreadSanitizer can see.
    // Shared with the jobs: a job that outlives this object (stuck in the system when the
    // viewer closed) finds no owner and keeps its result.
    struct Inbox {
        std::mutex mutex;
        std::deque<std::pair<DecodeWorker::JobId, PicturePtr>> results;
        PictureSource* owner = nullptr;
    };
    const std::shared_ptr<Inbox> inbox_;
    std::unique_ptr<DecodeWorker> worker_;
};

} // namespace orlix
