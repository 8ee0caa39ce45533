#pragma once

#include "app/SplashTexts.h"
#include "platform/desktop/ScreenMetrics.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace orlix {

// The first window of the program: icon, title and version, copyright line and home-page
// link on white, without a frame. It puts the pointer onto the link when it first becomes
// active, shows the link blue while the pointer is over it, opens the address when the link
// is clicked and closes itself after five seconds. Nothing else closes it: Esc, Alt+F4 and
// other close requests are ignored.
//
// Modal use: construct (this loads the window and starts TimWait), then call showModal(),
// which returns once TimWait has closed the window.
class FormSplash final : public QWidget {
    Q_OBJECT

public:
    // Moves the pointer to a screen point in pixels; false where the platform does not allow it.
    using PointerMover = std::function<bool(const QPoint&)>;
    // Asks the desktop to open an address.
    using AddressOpener = std::function<void(const QString&)>;

    static constexpr int kWaitMilliseconds = 5000;

    explicit FormSplash(SplashTexts texts = SplashTexts::fromBuild(),
                        platform::ScreenMetrics screen = platform::primaryScreen(),
                        QWidget* parent = nullptr);

    // Shows the window application-modal and serves events until TimWait has closed it.
    // Returns 0 (the window has no result); returns at once if TimWait already fired.
    int showModal();

    // The platform's desktop functions by default; tests hand in their own.
    void setPointerMover(PointerMover mover) { movePointer_ = std::move(mover); }
    void setAddressOpener(AddressOpener opener) { openAddress_ = std::move(opener); }

    // The controls and the timer, for tests and for nothing else.
    QLabel* imgIcon() const { return imgIcon_; }
    QLabel* labAppVersion() const { return labAppVersion_; }
    QLabel* labCopyright() const { return labCopyright_; }
    QLabel* labUrl() const { return labUrl_; }
    QTimer& timWait() { return timWait_; }

signals:
    // TimWait has closed the window.
    void unloaded();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_MouseMove();
    void LabAppVersion_MouseMove();
    void LabCopyright_MouseMove();
    void LabUrl_MouseMove();
    void LabUrl_Click();
    void TimWait_Timer();

    void setLinkColour(const QColor& colour);
    bool handleLinkButton(QEvent* event);

    SplashTexts texts_;
    platform::ScreenMetrics screen_;
    PointerMover movePointer_;
    AddressOpener openAddress_;

    QLabel* imgIcon_ = nullptr;
    QLabel* labAppVersion_ = nullptr;
    QLabel* labCopyright_ = nullptr;
    QLabel* labUrl_ = nullptr;
    QTimer timWait_;
    // Places the pointer where the platform shows the window without ever activating it.
    QTimer activateFallback_;

    bool activated_ = false;
    bool linkPressed_ = false;
    bool unloading_ = false;
    bool unloaded_ = false;
};

} // namespace orlix
