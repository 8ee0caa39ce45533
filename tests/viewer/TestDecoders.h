#pragma once

#include "decode/PictureDecoder.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace orlix::test {

// The program's decoder, recording every request it gets; decodes of files whose name starts
// with "slow" wait at a gate until the test opens it or the decode is cancelled.
class RecordingDecoder : public PictureDecoder {
public:
    struct Request {
        QString name;  // the file name
        QSize fitInto; // empty: the whole picture
    };

    DecodeResult decode(const DecodeRequest& request,
                        const std::atomic<bool>& cancelled) const override {
        const QString name = request.file->path().section(QLatin1Char('/'), -1);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            requests_.push_back({name, request.fitInto});
            if (name.startsWith(QLatin1String("slow"))) {
                ++waitingAtGate_;
                while (!gateOpen_ && !cancelled.load())
                    gate_.wait_for(lock, std::chrono::milliseconds(5));
                --waitingAtGate_;
            }
        }
        DecodeResult picture = real_.decode(request, cancelled);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (picture.cancelled)
            abandoned_ << name;
        return picture;
    }
    // The names whose decode noticed a cancel and stopped.
    QStringList abandoned() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return abandoned_;
    }

    void openGate() {
        const std::lock_guard<std::mutex> lock(mutex_);
        gateOpen_ = true;
        gate_.notify_all();
    }
    int waitingAtGate() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return waitingAtGate_;
    }
    // The names decoded so far, in order, with "*" after a full-resolution decode.
    QStringList log() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        QStringList names;
        for (const Request& r : requests_)
            names << r.name + (r.fitInto.isEmpty() ? QStringLiteral("*") : QString());
        return names;
    }
    std::vector<Request> requests() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    StandardPictureDecoder real_;
    mutable std::mutex mutex_;
    mutable std::condition_variable gate_;
    mutable std::vector<Request> requests_;
    mutable int waitingAtGate_ = 0;
    mutable QStringList abandoned_;
    bool gateOpen_ = false;
};

} // namespace orlix::test
