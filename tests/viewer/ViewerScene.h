#pragma once

#include "platform/desktop/MessageService.h"
#include "support/TempTree.h"
#include "viewer/StepFakes.h"
#include "viewer/TestDecoders.h"
#include "viewer/sources/BackgroundScan.h"
#include "viewer/steps/GuideLabel.h"
#include "viewer/window/FormView.h"
#include "viewer/window/ShowObserver.h"

#include <QPointer>
#include <QStringList>

class QLabel;
class QTimer;

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace orlix {
class FormWait;
class PictureBox;
class SlideStepMachine;
namespace platform {
class ScreenSaverInhibitor;
}
} // namespace orlix

namespace orlix::test {

// A viewer window on a 1024 x 768 screen over a scratch tree, as the tests of the window set
// it up: Settings point at the tree (all three picture types, Sort on, an interval of 60 s so
// that no tick comes of its own); failure boxes, check boxes and captions are recorded;
// pictures are decoded by `decoder` and folders listed by `scan` (ScanFolder when null). The
// scene follows the viewer's show: its steps, and whether its decoding thread is busy; its
// widgets are found by their object names.
class ViewerScene : public platform::MessageService, public ShowRecord, public ShowObserver {
public:
    ViewerScene();
    ~ViewerScene() override;

    void warning(QWidget*, const QString& title, const QString& text) override;
    void showMade(const SlideStepMachine& steps) override { steps_ = &steps; }
    void captionWritten(const QString& caption) override { captions << caption; }
    void decodingBusy(bool busy) override { decoding_ = busy; }

    // Writes grey pictures of `size` below the tree: JPEGs where the name ends in ".jpg", else
    // BMPs.
    void pictures(std::initializer_list<const char*> names, QSize size = {40, 30}) const;
    // Makes the viewer as Start does and loads it; `wait` for its first step to end.
    void open(double devicePixelRatio = 1.0, bool wait = true);
    // Deletes the viewer.
    void close();
    // Runs events until `done` says so (true) or `ms` have passed (false).
    static bool runUntil(const std::function<bool()>& done, int ms = 10000);
    // Runs events until nothing is under way or held, or the viewer has gone.
    void settle() const;
    // Runs events until the decoding thread has nothing left to do.
    void idle() const;
    void tick();
    // Presses and releases a key, then settles; true when the step it ran (if any) had its
    // folder and picture at hand.
    bool press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // The picture on show, relative to the tree; "" once the viewer has closed and gone.
    QString shown() const;

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

    TempTree tree;
    std::shared_ptr<GatedDecoder> decoder = std::make_shared<GatedDecoder>();
    BackgroundScan::ScanFunction scan;
    platform::ScreenSaverInhibitor* screenSaver = nullptr;
    std::function<void()> onWarning; // runs while the box is open
    QPointer<FormView> view;

private:
    const SlideStepMachine* steps_ = nullptr;
    bool decoding_ = false;
};

} // namespace orlix::test
