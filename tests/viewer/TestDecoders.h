#pragma once

#include "decode/PictureDecoder.h"

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
    explicit GatedDecoder(bool gated = false) : gated_(gated) {}

    DecodeResult decode(const DecodeRequest& request,
                        const std::atomic<bool>& cancelled) const override {
        const QString name = request.file->path().section(QLatin1Char('/'), -1);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            log_ << name + (request.fitInto.isEmpty() ? "*" : "");
            if (gated_) {
                const int ticket = ++arrivals_;
                atGate_ = name;
                while (passed_ != ticket && !cancelled.load())
                    gate_.wait_for(lock, std::chrono::milliseconds(1));
                atGate_.clear();
            }
        }
        DecodeResult picture = real_.decode(request, cancelled);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (picture.cancelled)
            abandoned_ << name;
        return picture;
    }

    // Lets the decode waiting at the gate (there is one decoding thread) go on; none when
    // none waits.
    void letOneThrough() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!atGate_.isEmpty())
            passed_ = arrivals_;
        gate_.notify_all();
    }
    // How many decodes have come to the gate so far.
    int arrivals() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return arrivals_;
    }
    // The name of the file whose decode waits at the gate; empty when none does.
    QString atGate() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return atGate_;
    }
    // The names decoded so far, in order, with "*" after a full-resolution decode.
    QStringList log() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }
    // The names whose decode noticed a cancel and stopped.
    QStringList abandoned() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return abandoned_;
    }

private:
    const bool gated_;
    StandardPictureDecoder real_;
    mutable std::mutex mutex_;
    mutable std::condition_variable gate_;
    mutable QStringList log_;
    mutable QStringList abandoned_;
    mutable QString atGate_;
    mutable int arrivals_ = 0; // decodes that came to the gate
    int passed_ = 0;           // the one let through last
};

} // namespace orlix::test
