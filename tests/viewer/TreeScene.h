#pragma once

#include "decode/codec/PictureDecoder.h"
#include "support/TempTree.h"
#include "support/ViewerScene.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <utility>

namespace orlix::test {

// The program's decoder, recording every request it gets. When `gated`, every decode waits at
// a gate until the test lets it through, or until it is cancelled.
class GatedDecoder : public PictureDecoder {
public:
    struct Record {
        QStringList log;       // the names decoded so far, "*" after a full-resolution decode
        QList<QSize> boxes;    // the box each of them was to be fitted into
        QList<FitBox> views;   // the view each was to come as the frame of, if it is larger
        QList<bool> hurried;   // whether someone waited for each of them
        QStringList abandoned; // the names whose decode noticed a cancel and stopped
        QString atGate;        // the name whose decode waits at the gate; empty when none does
        int arrivals = 0;      // decodes that came to the gate
    };

    explicit GatedDecoder(bool gated) : gated_(gated) {}

    DecodeResult decode(const DecodeRequest& request, const std::atomic<bool>& cancelled) override {
        const QString name = request.file->path().section(QLatin1Char('/'), -1);
        {
            std::unique_lock<std::mutex> lock(mutex_);
            record_.log << name + (request.fitInto.isEmpty() ? "*" : "");
            record_.boxes << request.fitInto;
            record_.views << request.frameBox;
            record_.hurried << request.hurried;
            const int ticket = ++record_.arrivals;
            record_.atGate = gated_ ? name : QString();
            while (gated_ && passed_ != ticket && !cancelled.load())
                gate_.wait_for(lock, std::chrono::milliseconds(1));
            record_.atGate.clear();
        }
        DecodeResult picture = real_.decode(request, cancelled);
        if (meddle)
            std::exchange(meddle, nullptr)();
        const std::lock_guard<std::mutex> lock(mutex_);
        if (picture.cancelled)
            record_.abandoned << name;
        return picture;
    }

    // Lets the decode waiting at the gate (there is one decoding thread) go on.
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

    // Done to the file in the middle of the next decode, once the real decode has read it; it
    // may also throw. Set only while nothing decodes.
    std::function<void()> meddle;

private:
    const bool gated_;
    StandardPictureDecoder real_;
    mutable std::mutex mutex_; // locked by the readers of the record too
    std::condition_variable gate_;
    Record record_;
    int passed_ = 0; // the ticket let through last
};

// The viewer scene over a scratch tree of its own, its pictures decoded through `gate`. Every
// wait on the viewer must end in time.
struct TreeScene : TempTree, ViewerScene {
    explicit TreeScene(bool gated = false)
        : ViewerScene(rootText()), gate(std::make_shared<GatedDecoder>(gated)) {
        decoder = gate;
    }
    ~TreeScene() override {
        close(); // before anything the viewer was given
        EXPECT_EQ(timeouts, 0) << "the viewer never got where a test waited for it";
    }

    // Writes grey pictures of `size`: JPEGs where the name ends in ".jpg", else BMPs.
    void pictures(std::initializer_list<const char*> names, QSize size = {40, 30}) const {
        for (const char* name : names)
            write(name, pictureFile(size, qRgb(128, 128, 128),
                                    QByteArray(name).endsWith(".jpg") ? "JPEG" : "BMP"));
    }

    // Presses and releases a key, then settles.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyPress(view.data(), key, modifiers);
        if (view)
            QTest::keyRelease(view.data(), key, modifiers);
        settle();
    }

    std::shared_ptr<GatedDecoder> gate;
};

} // namespace orlix::test
