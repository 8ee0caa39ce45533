#include "viewer/sources/BackgroundScan.h"

#include "catalogue/FormWait.h"
#include "catalogue/ProgressWindow.h"
#include "catalogue/ScanFolder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <deque>
#include <mutex>
#include <utility>

namespace orlix {

namespace {

// What the scanning thread tells the GUI thread, in the order it happened.
struct Report {
    enum class Kind { Text, Width, Repaint, Finished };
    Kind kind = Kind::Finished;
    QString text;
    int twips = 0;
    bool found = false;
};

} // namespace

// One listing, shared by the GUI thread and the scanning thread. A standard mutex guards the
// reports rather than Qt's event queue alone, so that the hand-over is one ThreadSanitizer
// can see; a queued call only tells the GUI thread that there is something to take.
struct BackgroundScan::Listing : public ProgressWindow {
    Listing(BackgroundScan* owner, EntryList list, int progressFrameWidth)
        : owner(owner), entries(std::move(list)), frame(progressFrameWidth) {}

    // ProgressWindow, on the scanning thread: what the sort shows goes to the real window.
    void setProgressText(const QString& text) override {
        report({Report::Kind::Text, text, 0, false});
    }
    void setProgressWidth(int twips) override { report({Report::Kind::Width, {}, twips, false}); }
    int frameWidth() const override { return frame; }
    void repaintNow() override { report({Report::Kind::Repaint, {}, 0, false}); }

    void report(Report next) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            reports.push_back(std::move(next));
        }
        QMetaObject::invokeMethod(owner, "takeReports", Qt::QueuedConnection);
    }
    std::deque<Report> take() {
        const std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(reports, {});
    }

    BackgroundScan* const owner; // outlives the thread: its destructor waits for it
    EntryList entries;           // the scanning thread's until it has reported Finished
    const int frame;
    std::mutex mutex;
    std::deque<Report> reports;
};

BackgroundScan::BackgroundScan(QWidget* window, ScanFunction scan)
    : window_(window), scan_(scan ? std::move(scan) : ScanFunction(&ScanFolder)) {}

BackgroundScan::~BackgroundScan() {
    cancel();
    if (thread_.joinable())
        thread_.join();
}

void BackgroundScan::list(const Request& request, EntryList entries, Done done) {
    cancel();
    if (thread_.joinable())
        thread_.join(); // an abandoned listing still running: they come one at a time
    int frameWidth = 0;
    if (request.withProgress) {
        progress_ = new FormWait(window_);
        progress_->installEventFilter(this);
        progress_->show();
        frameWidth = progress_->frameWidth();
    }
    auto listing = std::make_shared<Listing>(this, std::move(entries), frameWidth);
    current_ = listing;
    done_ = std::move(done);
    thread_ = std::thread([listing, request, scan = scan_] {
        const bool found =
            scan(request.folder, listing->entries, request.sortFlag, request.attrMask,
                 request.extList, request.withProgress ? listing.get() : nullptr);
        listing->report({Report::Kind::Finished, {}, 0, found});
    });
}

void BackgroundScan::takeReports() {
    if (!current_)
        return;
    const std::shared_ptr<Listing> listing = current_;
    for (const Report& report : listing->take()) {
        switch (report.kind) {
        case Report::Kind::Text:
            if (progress_)
                progress_->setProgressText(report.text);
            break;
        case Report::Kind::Width:
            if (progress_)
                progress_->setProgressWidth(report.twips);
            break;
        case Report::Kind::Repaint:
            if (progress_)
                progress_->repaintNow();
            break;
        case Report::Kind::Finished: {
            thread_.join(); // its last act was this report
            closeProgress();
            current_.reset();
            const Done done = std::exchange(done_, nullptr);
            done(report.found, std::move(listing->entries)); // may start the next listing
            return;
        }
        }
    }
}

void BackgroundScan::closeProgress() {
    if (!progress_)
        return;
    // Later, not now: this may run inside an event the progress window is handling.
    progress_->removeEventFilter(this);
    progress_->close();
    progress_->deleteLater();
    progress_ = nullptr;
}

void BackgroundScan::cancel() {
    closeProgress();
    current_.reset();
    done_ = nullptr;
}

bool BackgroundScan::eventFilter(QObject* watched, QEvent* event) {
    // The progress window may have the keyboard while it is up; the viewer's keys are the
    // viewer's all the same.
    if (watched == progress_ &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        QCoreApplication::sendEvent(window_, event);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orlix
