#pragma once

#include "decode/codec/PictureDecoder.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orlix::test {

// The program's decoder, recording every request it gets. When `gated`, every decode waits at
// a gate until the test lets it through, or until it is cancelled.
class GatedDecoder : public PictureDecoder {
public:
    struct Record {
        QStringList log;       // the names decoded so far, "*" after a full-resolution decode
        QList<QSize> boxes;    // the box each of them was to be fitted into
        QStringList abandoned; // the names whose decode noticed a cancel and stopped
        QString atGate;        // the name whose decode waits at the gate; empty when none does
        int arrivals = 0;      // decodes that came to the gate
    };

    explicit GatedDecoder(bool gated = false) : gated_(gated) {}

    DecodeResult decode(const DecodeRequest& request, const std::atomic<bool>& cancelled) override {
        const QString name = request.file->path().section(QLatin1Char('/'), -1);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            record_.log << name + (request.fitInto.isEmpty() ? "*" : "");
            record_.boxes << request.fitInto;
            if (gated_) {
                const int ticket = ++record_.arrivals;
                record_.atGate = name;
                while (passed_ != ticket && !cancelled.load())
                    gate_.wait_for(lock, std::chrono::milliseconds(1));
                record_.atGate.clear();
            }
        }
        DecodeResult picture = real_.decode(request, cancelled);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (picture.cancelled)
            record_.abandoned << name;
        return picture;
    }

    // Lets the decode waiting at the gate (there is one decoding thread) go on; none when
    // none waits.
    void letOneThrough() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!record_.atGate.isEmpty())
            passed_ = record_.arrivals;
        gate_.notify_all();
    }
    Record record() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return record_;
    }
    QStringList log() const { return record().log; }

private:
    const bool gated_;
    StandardPictureDecoder real_;
    mutable std::mutex mutex_;
    std::condition_variable gate_;
    Record record_;
    int passed_ = 0; // the ticket let through last
};

} // namespace orlix::test
