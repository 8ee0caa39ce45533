#include "viewer/PictureSource.h"

#include <QMetaObject>

#include <utility>

namespace orlix {

namespace {

PicturePtr failedPicture(const QString& path, const ViewParams& view, LoadError error) {
    auto picture = std::make_shared<DecodedPicture>();
    picture->path = path;
    picture->view = view;
    picture->error = error;
    return picture;
}

} // namespace

PictureSource::PictureSource(std::shared_ptr<const PictureDecoder> decoder, QObject* parent)
    : QObject(parent) {
    if (!decoder)
        decoder = std::make_shared<StandardPictureDecoder>();
    worker_ = std::make_unique<DecodeWorker>(
        std::move(decoder), [this](DecodeWorker::JobId job, PicturePtr picture) {
            // From the decoding thread: the result is taken on the GUI thread, in order.
            {
                const std::lock_guard<std::mutex> lock(inboxMutex_);
                inbox_.emplace_back(job, std::move(picture));
            }
            QMetaObject::invokeMethod(this, "takeResult", Qt::QueuedConnection);
        });
}

void PictureSource::takeResult() {
    std::pair<DecodeWorker::JobId, PicturePtr> next;
    {
        const std::lock_guard<std::mutex> lock(inboxMutex_);
        if (inbox_.empty())
            return;
        next = std::move(inbox_.front());
        inbox_.pop_front();
    }
    received(next.first, std::move(next.second));
}

PictureSource::~PictureSource() {
    demandDone_ = nullptr;
    worker_.reset(); // joins the thread; results it posted meanwhile die with this object
}

bool PictureSource::idle() const {
    return pending_.empty();
}

DecodeWorker::JobId PictureSource::submit(DecodeRequest request, DecodeWorker::Priority priority) {
    const DecodeWorker::JobId job = worker_->submit(std::move(request), priority);
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

PicturePtr PictureSource::keptFor(const QString& path, const ViewParams& view,
                                  const platform::FileIdentity& identity) const {
    const auto same = [&](const PicturePtr& picture) {
        return picture && picture->file && picture->path == path && picture->identity() == identity;
    };
    // A picture decoded ahead is used as it stands, errors included, when it was made for this
    // very view; one already shown only when it can be drawn in this view as it is.
    if (same(ahead_.result) && ahead_.result->view == view)
        return ahead_.result;
    if (same(background_.result) && background_.result->serves(view))
        return background_.result;
    if (same(shown_) && shown_->serves(view))
        return shown_;
    return nullptr;
}

void PictureSource::fetch(const QString& path, const ViewParams& view, Done done) {
    cancel();
    platform::FileError error = platform::FileError::None;
    std::shared_ptr<const platform::PictureFile> file = platform::PictureFile::open(path, error);
    if (!file) {
        drop(background_);
        done(failedPicture(path, view, loadErrorFrom(error)));
        return;
    }
    if (PicturePtr kept = keptFor(path, view, file->identity())) {
        if (kept == ahead_.result)
            ahead_ = Slot();
        if (kept != background_.result)
            drop(background_);
        done(std::move(kept));
        return;
    }
    drop(background_);
    if (ahead_.job != 0 && !ahead_.result && ahead_.path == path && ahead_.view == view) {
        // The decode ahead of this very picture is under way: wait for it rather than start
        // again, and check its file when it arrives.
        demandJob_ = ahead_.job;
        demandDone_ = std::move(done);
        demandFile_ = std::move(file);
        demandView_ = view;
        ahead_ = Slot();
        worker_->promote(demandJob_);
        return;
    }
    drop(ahead_);
    demand(DecodeRequest{path, file, view, false}, std::move(done));
}

void PictureSource::refine(const PicturePtr& shown, const ViewParams& view, Done done) {
    cancel();
    if (!shown || !shown->ok() || shown->serves(view)) {
        done(shown);
        return;
    }
    if (background_.file == shown->file) {
        if (background_.result) {
            PicturePtr full = background_.result;
            done(std::move(full));
            return;
        }
        if (background_.job != 0) {
            // The full resolution is under way: it serves every view.
            demandJob_ = background_.job;
            demandDone_ = std::move(done);
            demandFile_ = nullptr;
            demandView_ = view;
            background_ = Slot();
            worker_->promote(demandJob_);
            return;
        }
    }
    demand(DecodeRequest{shown->path, shown->file, view, view.realSize}, std::move(done));
}

void PictureSource::demand(DecodeRequest request, Done done) {
    demandFile_ = request.file;
    demandView_ = request.view;
    demandDone_ = std::move(done);
    demandJob_ = submit(std::move(request), DecodeWorker::Priority::Demand);
}

void PictureSource::prepare(const QString& nextPath, const ViewParams& view,
                            const PicturePtr& shown) {
    retire(std::exchange(shown_, shown && shown->ok() ? shown : nullptr));

    const bool nextIsShown = shown_ && shown_->path == nextPath && shown_->serves(view);
    if (nextPath.isEmpty() || nextIsShown) {
        drop(ahead_);
    } else if (ahead_.path != nextPath || ahead_.view != view ||
               (ahead_.job == 0 && !ahead_.result)) {
        drop(ahead_);
        ahead_.path = nextPath;
        ahead_.view = view;
        ahead_.job =
            submit(DecodeRequest{nextPath, nullptr, view, false}, DecodeWorker::Priority::Ahead);
    }

    if (shown_ && !shown_->fullResolution()) {
        if (background_.file != shown_->file) {
            drop(background_);
            background_.path = shown_->path;
            background_.view = view;
            background_.file = shown_->file;
            background_.job = submit(DecodeRequest{shown_->path, shown_->file, view, true},
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
    demandFile_.reset();
}

void PictureSource::cancelAll() {
    demandDone_ = nullptr;
    demandJob_ = 0;
    demandFile_.reset();
    const DecodeWorker::JobId running = worker_->cancelAll();
    const bool stillComing = running != 0 && pending_.count(running) != 0;
    pending_.clear();
    if (stillComing)
        pending_.insert(running);
    drop(ahead_);
    drop(background_);
    retire(std::move(shown_));
}

void PictureSource::received(DecodeWorker::JobId job, PicturePtr picture) {
    pending_.erase(job);
    if (job == demandJob_ && demandDone_) {
        const bool stale =
            picture->cancelled || (demandFile_ && picture->identity() != demandFile_->identity());
        if (stale) {
            // Abandoned under it, or the file changed since it was decoded ahead: decode the
            // file the step opened.
            demandJob_ = 0;
            Done done = std::move(demandDone_);
            demand(DecodeRequest{picture->path, demandFile_, demandView_, demandView_.realSize},
                   std::move(done));
            return;
        }
        Done done = std::move(demandDone_);
        demandDone_ = nullptr;
        demandJob_ = 0;
        demandFile_.reset();
        done(std::move(picture));
        return;
    }
    for (Slot* slot : {&ahead_, &background_}) {
        if (job != 0 && job == slot->job) {
            if (picture->cancelled)
                *slot = Slot();
            else
                slot->result = std::move(picture);
            return;
        }
    }
}

} // namespace orlix
