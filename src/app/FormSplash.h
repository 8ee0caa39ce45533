#pragma once

#include "app/SplashTexts.h"
#include "platform/desktop/ScreenMetrics.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace orlix {

// What the splash window asks of the desktop: the platform's functions unless others are
// handed in.
struct SplashDesktop {
    // Moves the pointer to a screen point in pixels; false where the platform does not allow it.
    std::function<bool(const QPoint&)> movePointer;
    // Asks the desktop to open an address.
    std::function<void(const QString&)> openAddress;

    // The desktop the program runs on.
    static SplashDesktop current();
};

// The first window of the program: icon, title and version, copyright line and home-page
// link on white, without a frame. It puts the pointer onto the link when it first becomes
// active, shows the link blue while the pointer is over it, opens the address when the link
// is clicked and closes itself after five seconds. Nothing else closes it: Esc, Alt+F4 and
// other close requests are ignored.
//
// Modal use: construct (this loads the window and starts TimWait), then call showModal(),
// which returns once TimWait has closed the window. Its controls and its timer carry the names
// the window was designed with (ImgIcon, LabAppVersion, LabCopyright, LabUrl, TimWait).
class FormSplash final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWaitMilliseconds = 5000;

    explicit FormSplash(SplashTexts texts = SplashTexts::fromBuild(),
                        platform::ScreenMetrics screen = platform::primaryScreen(),
                        SplashDesktop desktop = SplashDesktop::current(),
                        QWidget* parent = nullptr);

    // Shows the window application-modal and serves events until TimWait has closed it.
    // Returns 0 (the window has no result); returns at once if TimWait already fired.
    int showModal();

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
    SplashDesktop desktop_;

    QLabel* imgIcon_ = nullptr;
    QLabel* labAppVersion_ = nullptr;
    QLabel* labCopyright_ = nullptr;
    QLabel* labUrl_ = nullptr;
    QTimer* timWait_ = nullptr;
    // Places the pointer where the platform shows the window without ever activating it.
    QTimer activateFallback_;

    bool activated_ = false;
    bool linkPressed_ = false;
    bool unloading_ = false;
    bool unloaded_ = false;
};

} // namespace orlix
