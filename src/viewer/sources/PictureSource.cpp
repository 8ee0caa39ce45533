#include "viewer/sources/PictureSource.h"

#include <QMetaObject>

#include <utility>

namespace orlix {

PictureSource::PictureSource(std::shared_ptr<PictureDecoder> decoder, BusyNotice busyNotice)
    : loader_(std::make_shared<const PictureLoader>(
          decoder ? std::move(decoder) : std::make_shared<StandardPictureDecoder>())),
      busyNotice_(std::move(busyNotice)), inbox_(std::make_shared<Inbox>()),
      worker_(std::make_unique<DecodeWorker>()) {
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

void PictureSource::noteBusy() {
    const bool busy = !pending_.empty();
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busyNotice_)
        busyNotice_(busy);
}

DecodeWorker::JobId PictureSource::submit(Work work, DecodeWorker::Priority priority) {
    const DecodeWorker::JobId job = worker_->submit(
        [inbox = inbox_, loader = loader_, work = std::move(work)](
            DecodeWorker::JobId id, const std::atomic<bool>& cancelled, bool demanded) {
            PicturePtr picture = work(loader->hurried(demanded), cancelled);
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
    noteBusy();
    return job;
}

void PictureSource::drop(Slot& slot) {
    if (slot.job != 0 && !slot.result && !worker_->cancel(slot.job))
        pending_.erase(slot.job);
    retire(std::move(slot.result));
    slot = Slot();
    noteBusy();
}

void PictureSource::retire(PicturePtr picture) {
    worker_->discard(std::move(picture));
}

PicturePtr PictureSource::candidateFor(const QString& path, const SizeRequest& request) const {
    // A picture decoded ahead is used as it stands, errors included, when it was made for this
    // very request; one already shown only when it can be drawn for this request as it is.
    if (ahead_.result && ahead_.path == path && ahead_.request == request)
        return ahead_.result;
    const auto serves = [&](const PicturePtr& picture) {
        return picture && picture->path == path && picture->serves(request);
    };
    if (serves(background_.result))
        return background_.result;
    if (serves(shown_))
        return shown_;
    if (serves(behind_))
        return behind_;
    return nullptr;
}

void PictureSource::fetch(const QString& path, const SizeRequest& request, Done done) {
    cancel();
    if (PicturePtr candidate = candidateFor(path, request)) {
        if (candidate == ahead_.result)
            ahead_ = Slot();
        if (candidate != background_.result)
            drop(background_);
        demand(
            [path, request, candidate](const PictureLoader& loader,
                                       const std::atomic<bool>& cancelled) {
                return loader.load(path, request, false, candidate, cancelled);
            },
            std::move(done));
        return;
    }
    drop(background_);
    if (ahead_.job != 0 && !ahead_.result && ahead_.path == path && ahead_.request == request) {
        // The decode ahead of this very picture is under way: wait for it rather than start
        // again, and have its file checked when it arrives.
        takeOver(ahead_, std::move(done), [path, request](const PicturePtr& arrived) -> Work {
            PicturePtr kept = arrived && !arrived->cancelled ? arrived : nullptr;
            return [path, request, kept](const PictureLoader& loader,
                                         const std::atomic<bool>& cancelled) {
                return loader.load(path, request, false, kept, cancelled);
            };
        });
        return;
    }
    drop(ahead_);
    demand(
        [path, request](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
            return loader.load(path, request, false, nullptr, cancelled);
        },
        std::move(done));
}

PictureSource::Work PictureSource::reloadOf(const PicturePtr& shown, const SizeRequest& request) {
    return [shown, request](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
        return loader.reload(shown, request, false, true, cancelled);
    };
}

void PictureSource::refine(const PicturePtr& shown, const SizeRequest& request, Done done) {
    cancel();
    if (!shown || !shown->ok() || shown->serves(request)) {
        done(shown);
        return;
    }
    // The full resolution serves every request in the colours of the display it was made for.
    if (background_.source == shown && (background_.result || background_.job != 0) &&
        background_.request.displayProfile == request.displayProfile) {
        if (background_.result) {
            // Read through the file of `shown` while it still held what is shown.
            PicturePtr full = background_.result;
            done(std::move(full));
            return;
        }
        // The full resolution is under way: it serves every request.
        takeOver(background_, std::move(done), [shown, request](const PicturePtr& arrived) -> Work {
            if (arrived && !arrived->cancelled)
                return nullptr;
            return reloadOf(shown, request);
        });
        return;
    }
    demand(reloadOf(shown, request), std::move(done));
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

void PictureSource::prepare(const QString& nextPath, const SizeRequest& request,
                            const PicturePtr& shown, FullResolution shownWhole) {
    PicturePtr left = std::exchange(shown_, shown && shown->ok() ? shown : nullptr);
    // A step back onto the picture left shows its frame again; its image is let go.
    if (left && shown_ && left->path != shown_->path)
        retire(std::exchange(behind_, left->keptAsFrame()));
    retire(std::move(left));

    const auto keeps = [&nextPath, &request](const PicturePtr& picture) {
        return picture && picture->path == nextPath && picture->serves(request);
    };
    if (nextPath.isEmpty() || keeps(shown_) || keeps(behind_)) {
        drop(ahead_);
    } else if (ahead_.path != nextPath || ahead_.request != request ||
               (ahead_.job == 0 && !ahead_.result)) {
        drop(ahead_);
        ahead_.path = nextPath;
        ahead_.request = request;
        // With nothing on screen (the show's first picture), the user already waits for it.
        ahead_.job = submit(
            [nextPath, request](const PictureLoader& loader, const std::atomic<bool>& cancelled) {
                return loader.load(nextPath, request, false, nullptr, cancelled);
            },
            shown_ ? DecodeWorker::Priority::Ahead : DecodeWorker::Priority::Demand);
    }

    if (shownWhole == FullResolution::Ahead && shown_ && !shown_->fullResolution()) {
        if (background_.source != shown_) {
            drop(background_);
            background_.path = shown_->path;
            background_.request = request;
            background_.source = shown_;
            // Only while the file still holds what is shown; otherwise the picture is read
            // again when it is wanted, as it is then.
            background_.job = submit(
                [source = shown_, request](const PictureLoader& loader,
                                           const std::atomic<bool>& cancelled) {
                    return loader.reload(source, request, true, false, cancelled);
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
    noteBusy();
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
    noteBusy();
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
        noteBusy();
        done(std::move(picture)); // may start the next step's decodes
        return;
    }
    for (Slot* slot : {&ahead_, &background_}) {
        if (job != 0 && job == slot->job) {
            if (!picture || picture->cancelled)
                *slot = Slot();
            else
                slot->result = std::move(picture);
            noteBusy();
            return;
        }
    }
    retire(std::move(picture));
    noteBusy();
}

} // namespace orlix
