#pragma once

#include "platform/desktop/MessageService.h"
#include "platform/desktop/ScreenMetrics.h"
#include "viewer/sources/BackgroundScan.h"
#include "viewer/steps/GuideLabel.h"
#include "viewer/steps/SettingsWindowLink.h"
#include "viewer/window/FormView.h"
#include "viewer/window/ShowObserver.h"

#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QTimer;

namespace orlix {
class FormWait;
class PictureBox;
class PictureDecoder;
class SlideStepMachine;
namespace platform {
class ScreenSaverInhibitor;
}
} // namespace orlix

namespace orlix::test {

// What a viewer showed, in order: its captions, the texts of its failure boxes and the ticks
// it put in the settings window's check boxes ("RealSize 1", "Guide 0").
struct ShowRecord : SettingsWindowLink {
    void setRealSizeCheck(std::int16_t value) override {
        checks << QString("RealSize %1").arg(value);
    }
    void setGuideCheck(std::int16_t value) override { checks << QString("Guide %1").arg(value); }

    QStringList captions, boxes, checks;
};

// A viewer window on Qt's offscreen platform over a folder of pictures, as the tests and the
// benchmarks drive it: Settings point at the folder (all three picture types, Sort on, an
// interval of 60 s so that no tick comes of its own); its failure boxes, check boxes and
// captions are recorded. The scene follows the viewer's show (its steps, and whether its
// decoding thread is busy) and finds its widgets by their object names.
class ViewerScene : public platform::MessageService, public ShowRecord, public ShowObserver {
public:
    // How the scene waits on the event loop: looking as often as it can, which a test's
    // thousands of short waits want; or asleep in the event loop, looking every 2 ms, as the
    // program's own loop sleeps: a thread that spun would take a core from the decoding threads
    // that a benchmark measures.
    enum class Pace { Brisk, Asleep };

    explicit ViewerScene(const QString& folder, Pace pace = Pace::Brisk);
    ~ViewerScene() override;

    // A box under another title than the program's is recorded as such, so that it differs
    // from every box a test expects.
    void warning(QWidget*, const QString& title, const QString& text) override;
    void showMade(const SlideStepMachine& steps) override { steps_ = &steps; }
    void captionWritten(const QString& caption) override { captions << caption; }
    void decodingBusy(bool busy) override { decoding_ = busy; }

    // Makes the viewer as Start does and loads it; `wait` for its first step to end.
    void open(bool wait = true);
    // Deletes the viewer.
    void close();
    // Runs events until `done` says so (true) or `ms` have passed (false, and counted in
    // `timeouts`).
    bool runUntil(const std::function<bool()>& done, int ms = 10000);
    // Runs events until nothing is under way or held, or the viewer has gone.
    void settle();
    // Runs events until the decoding thread has nothing left to do and `ms` have passed.
    void idle(int ms = 0);
    void tick();
    // The picture on show, relative to the folder; "" once the viewer has closed and gone.
    QString shown();

    // The open viewer's steps and widgets.
    const SlideStepMachine& steps() const;
    QLabel* guideLabel(GuideLabel label) const;
    QLabel* fileNameLabel() const;
    PictureBox* pictureView() const;
    QTimer* intervalTimer() const;
    // The caption last written: its two lines are joined by a carriage return.
    QString caption() const { return captions.isEmpty() ? QString() : captions.last(); }
    // The progress window on display; null when there is none.
    static FormWait* progressWindow();

    const QString folder;
    const Pace pace;
    platform::ScreenMetrics screen{QRect(0, 0, 1024, 768), 1.0};
    std::shared_ptr<PictureDecoder> decoder; // null: the program's own
    BackgroundScan::ScanFunction scan;       // null: ScanFolder
    platform::ScreenSaverInhibitor* screenSaver = nullptr;
    std::function<void(const QString& text)> onWarning; // runs while the box is open
    QPointer<FormView> view;
    int timeouts = 0;

private:
    const SlideStepMachine* steps_ = nullptr;
    bool decoding_ = false;
};

} // namespace orlix::test
