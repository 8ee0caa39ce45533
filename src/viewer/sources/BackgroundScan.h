#pragma once

#include "viewer/steps/FolderLister.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <thread>

class QWidget;

namespace orlix {

class FormWait;
class ProgressWindow;

// The viewer's folder listings, made on a thread of their own so that the window keeps
// serving events while a large or slow folder is read and sorted. The progress window, when
// asked for, is shown on the GUI thread and follows the scan's reports in the order they were
// made; keys pressed on it go to the viewer window. One listing at a time.
class BackgroundScan : public QObject, public FolderLister {
    Q_OBJECT
public:
    // ScanFolder's signature; tests put a listing of their own in its place.
    using ScanFunction = std::function<bool(const FileEntry& folder, EntryList& entries,
                                            std::int16_t sortFlag, std::int16_t attrMask,
                                            const QString& extList, ProgressWindow* progress)>;

    // `window`: the viewer, on whose screen the progress window is centred. `scan` null: the
    // program's ScanFolder.
    explicit BackgroundScan(QWidget* window, ScanFunction scan = nullptr);
    // Waits for a listing under way, abandoned or not: a scan reads at most 32,768 entries,
    // and it must not outlive the libraries it calls.
    ~BackgroundScan() override;

    void list(const Request& request, EntryList entries, Done done) override;
    void closeProgress() override;
    void cancel() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Listing;

    // Takes what the scanning thread has reported so far; one call per report.
    Q_INVOKABLE void takeReports();

    QWidget* window_;
    ScanFunction scan_;
    std::shared_ptr<Listing> current_; // null when no listing is wanted
    Done done_;
    QPointer<FormWait> progress_;
    std::thread thread_;
};

} // namespace orlix
