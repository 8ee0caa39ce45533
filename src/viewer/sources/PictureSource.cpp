#include "viewer/sources/PictureSource.h"

#include <QMetaObject>

#include <utility>

namespace orlix {

PictureSource::PictureSource(std::shared_ptr<PictureDecoder> decoder, QObject* parent)
    : QObject(parent),
      loader_(std::make_shared<const PictureLoader>(
          decoder ? std::move(decoder) : std::make_shared<StandardPictureDecoder>())),
      inbox_(std::make_shared<Inbox>()), worker_(std::make_unique<DecodeWorker>()) {
    inbox_->owner = this;
}

PictureSource::~PictureSource() {
    demandDone_ = nullptr;
    {
        const std::lock_guard<std::mutex> lock(inbox_->mutex);
        inbox_->owner = nullptr;
    }
    worker_.reset(); // results posted meanwhile die with this object
}

void PictureSource::takeResult() {
    std::pair<DecodeWorker::JobId, PicturePtr> next;
    {
        const std::lock_guard<std::mutex> lock(inbox_->mutex);
        if (inbox_->results.empty())
            return;
        next = std::move(inbox_->results.front());
        inbox_->results.pop_front();
    }
    received(next.first, std::move(next.second));
}

bool PictureSource::idle() const {
    return pending_.empty();
}

DecodeWorker::JobId PictureSource::submit(Work work, DecodeWorker::Priority priority) {
    const DecodeWorker::JobId job = worker_->submit(
        [inbox = inbox_, loader = loader_,
         work = std::move(work)](DecodeWorker::JobId id, const std::atomic<bool>& cancelled) {
            PicturePtr picture = work(*loader, cancelled);
            // From the decoding thread: the result is taken on the GUI thread, in order. Posted
            // under the lock, so that the owner cannot go in between.
            const std::lock_guard<std::mutex> lock(inbox->mutex);
            if (!inbox->owner)
                return;
            inbox->results.emplace_back(id, std::move(picture));
            QMetaObject::invokeMethod(inbox->owner, "takeResult", Qt::QueuedConnection);
        },
        priority);
    pending_.insert(job);
    return job;
}

void PictureSource::drop(Slot& slot) {
    if (slot.job != 0 && !slot.result && !worker_->cancel(slot.job))
        pending_.erase(slot.job);
    retire(std::move(slot.result));
    slot = Slot();
}

void PictureSource::retire(PicturePtr picture) {
    worker_->discard(std::move(picture));
}

PicturePtr PictureSource::candidateFor(const QString& path, const ViewParams& view) const {
    // A picture decoded ahead is used as it stands, errors included, when it was made for this
    // very view; one already shown only when it can be drawn in this view as it is.
    if (ahead_.result && ahead_.path == path && ahead_.view == view)
        return ahead_.result;
    if (background_.result && background_.result->path == path && background_.result->serves(view))
        return background_.result;
    if (shown_ && shown_->path == path && shown_->serves(view))
        return shown_;
    if (behind_ && behind_->path == path && behind_->serves(view))
        return behind_;
    return nullptr;
}

void PictureSource::fetch(const QString& path, const ViewParams& view, Done done) {
    cancel();
    if (PicturePtr candidate = candidateFor(path, view)) {
        if (candidate == ahead_.result)
            ahead_ = Slot();
        if (candidate != background_.result)
            drop(background_);
        demand(
            [path, view, candidate](const PictureLoader& loader,
                                    const std::atomic<bool>& cancelled) {
                return loader.load(path, view, false, candidate, cancelled);
            },
            std::move(done));
        return;
    }
    drop(background_);
    if (ahead_.job != 0 && !ahead_.result && ahead_.path == path && ahead_.view == view) {
        // The decode ahead of this very picture is under way: wait for it rather than start
        // again, and have its file checked when it arrives.
        takeOver(ahead_, std::move(done), [path, view](const PicturePtr& arrived) -> Work {
            PicturePtr kept = arrived && !arrived->cancelled ? arrived : nullptr;
            return [path, view, kept](const PictureLoader& loader,
                                      const std::atomic<bool>& cancelled) {
                return loader.load(path, view, false, kept, cancelled);
            };
        });
        return;
    }
    drop(ahead_);
    demand(
        [path, view](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
            return loader.load(path, view, false, nullptr, cancelled);
        },
        std::move(done));
}

PictureSource::Work PictureSource::reloadOf(const PicturePtr& shown, const ViewParams& view) {
    return [shown, view](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
        return loader.reload(shown, view, false, true, cancelled);
    };
}

void PictureSource::refine(const PicturePtr& shown, const ViewParams& view, Done done) {
    cancel();
    if (!shown || !shown->ok() || shown->serves(view)) {
        done(shown);
        return;
    }
    // The full resolution serves every view in the colours of the display it was made for.
    if (background_.source == shown && (background_.result || background_.job != 0) &&
        background_.view.displayProfile == view.displayProfile) {
        if (background_.result) {
            // Read through the file of `shown` while it still held what is shown.
            PicturePtr full = background_.result;
            done(std::move(full));
            return;
        }
        // The full resolution is under way: it serves every view.
        takeOver(background_, std::move(done), [shown, view](const PicturePtr& arrived) -> Work {
            if (arrived && !arrived->cancelled)
                return nullptr;
            return reloadOf(shown, view);
        });
        return;
    }
    demand(reloadOf(shown, view), std::move(done));
}

void PictureSource::takeOver(Slot& slot, Done done, FollowUp followUp) {
    demandJob_ = slot.job;
    demandDone_ = std::move(done);
    followUp_ = std::move(followUp);
    slot = Slot();
    worker_->promote(demandJob_);
}

void PictureSource::demand(Work work, Done done) {
    demandDone_ = std::move(done);
    // A demand is cancelled only with its step; should it come back abandoned all the same,
    // it is run again.
    followUp_ = [work](const PicturePtr& arrived) -> Work {
        return arrived && !arrived->cancelled ? nullptr : work;
    };
    demandJob_ = submit(std::move(work), DecodeWorker::Priority::Demand);
}

void PictureSource::prepare(const QString& nextPath, const ViewParams& view,
                            const PicturePtr& shown) {
    PicturePtr left = std::exchange(shown_, shown && shown->ok() ? shown : nullptr);
    if (left && shown_ && left->path != shown_->path)
        retire(std::exchange(behind_, std::move(left)));
    else
        retire(std::move(left));

    const auto keeps = [&nextPath, &view](const PicturePtr& picture) {
        return picture && picture->path == nextPath && picture->serves(view);
    };
    if (nextPath.isEmpty() || keeps(shown_) || keeps(behind_)) {
        drop(ahead_);
    } else if (ahead_.path != nextPath || ahead_.view != view ||
               (ahead_.job == 0 && !ahead_.result)) {
        drop(ahead_);
        ahead_.path = nextPath;
        ahead_.view = view;
        ahead_.job = submit(
            [nextPath, view](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
                return loader.load(nextPath, view, false, nullptr, cancelled);
            },
            DecodeWorker::Priority::Ahead);
    }

    if (shown_ && !shown_->fullResolution()) {
        if (background_.source != shown_) {
            drop(background_);
            background_.path = shown_->path;
            background_.view = view;
            background_.source = shown_;
            // Only while the file still holds what is shown; otherwise the picture is read
            // again when it is wanted, as it is then.
            background_.job = submit(
                [source = shown_, view](const PictureLoader& loader,
                                        const std::atomic<bool>& cancelled) {
                    return loader.reload(source, view, true, false, cancelled);
                },
                DecodeWorker::Priority::Background);
        }
    } else {
        drop(background_);
    }
}

void PictureSource::cancel() {
    if (!demandDone_)
        return;
    if (!worker_->cancel(demandJob_))
        pending_.erase(demandJob_);
    demandJob_ = 0;
    demandDone_ = nullptr;
    followUp_ = nullptr;
}

void PictureSource::cancelAll() {
    demandDone_ = nullptr;
    demandJob_ = 0;
    followUp_ = nullptr;
    const DecodeWorker::JobId running = worker_->cancelAll();
    const bool stillComing = running != 0 && pending_.count(running) != 0;
    pending_.clear();
    if (stillComing)
        pending_.insert(running);
    drop(ahead_);
    drop(background_);
    retire(std::move(shown_));
    retire(std::move(behind_));
}

void PictureSource::received(DecodeWorker::JobId job, PicturePtr picture) {
    pending_.erase(job);
    if (job == demandJob_ && demandDone_) {
        if (Work next = followUp_ ? followUp_(picture) : nullptr) {
            Done done = std::move(demandDone_);
            retire(std::move(picture));
            demand(std::move(next), std::move(done));
            return;
        }
        Done done = std::move(demandDone_);
        demandDone_ = nullptr;
        followUp_ = nullptr;
        demandJob_ = 0;
        done(std::move(picture));
        return;
    }
    for (Slot* slot : {&ahead_, &background_}) {
        if (job != 0 && job == slot->job) {
            if (!picture || picture->cancelled)
                *slot = Slot();
            else
                slot->result = std::move(picture);
            return;
        }
    }
    retire(std::move(picture));
}

} // namespace orlix
