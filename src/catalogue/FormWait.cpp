#include "catalogue/FormWait.h"

#include "catalogue/ProgressDisplay.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/UiFont.h"
#include "platform/desktop/WindowHints.h"
#include "platform/desktop/WindowPlacement.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>

namespace orlix {

namespace {

using platform::twipsToPixels;

// Sizes in twips, as the window is drawn.
constexpr int kClientWidth = 5670;
constexpr int kClientHeight = 2415;
constexpr int kPanelLeft = 120, kPanelTop = 120, kPanelWidth = 5415, kPanelHeight = 2175;
constexpr int kInnerLeft = 120, kInnerWidth = 5175; // the bar's track is the 100 % width
constexpr int kCaptionTop = 960, kCaptionHeight = 435;
constexpr int kBarTop = 1620, kBarHeight = 255, kPercentHeight = 195;

const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGreen(0x00, 0xFF, 0x00);

QRect twipRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

void fillWith(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QWidget* filledBox(QWidget* parent, const char* name, const QColor& colour, const QRect& at) {
    auto* box = new QWidget(parent);
    box->setObjectName(QLatin1String(name));
    fillWith(box, QPalette::Window, colour);
    box->setAutoFillBackground(true);
    box->setGeometry(at);
    return box;
}

QLabel* centredLabel(QWidget* parent, const char* name, const QString& text, const QColor& colour,
                     const QRect& at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    fillWith(label, QPalette::WindowText, colour);
    label->setAutoFillBackground(false); // transparent over the panel and the bar
    label->setGeometry(at);
    return label;
}

} // namespace

struct FormWait::Parts {
    QWidget* frame1 = nullptr;
    QLabel* label1 = nullptr;
    QWidget* shpFrame = nullptr;
    QWidget* shpProg = nullptr;
    QLabel* labProg = nullptr;
};

FormWait::FormWait(const QWidget* anchor)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      parts_(std::make_unique<Parts>()) {
    setObjectName(QStringLiteral("FormWait"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));

    Parts& p = *parts_;
    p.frame1 = filledBox(this, "Frame1", Qt::black,
                         twipRect(kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight));

    p.label1 =
        centredLabel(p.frame1, "Label1", QStringLiteral("Please Wait ... Sorting Now"), Qt::white,
                     twipRect(kInnerLeft, kCaptionTop, kInnerWidth, kCaptionHeight));
    p.label1->setFont(platform::uiGothicFont(12));

    // Stacked track, fill, then the percentage on top: black text stays legible on both.
    p.shpFrame = filledBox(p.frame1, "Shp_Frame", kSilver,
                           twipRect(kInnerLeft, kBarTop, kInnerWidth, kBarHeight));
    p.shpProg =
        filledBox(p.frame1, "Shp_Prog", kGreen, twipRect(kInnerLeft, kBarTop, 0, kBarHeight));
    p.labProg = centredLabel(p.frame1, "Lab_Prog", QString(), Qt::black,
                             twipRect(kInnerLeft, kBarTop, kInnerWidth, kPercentHeight));

    platform::centreOnScreen(this, platform::screenOf(anchor).geometry);
    platform::keepOffTaskbar(this);

    // Loading the window: the wait pointer, and a display at 0 %.
    setCursor(Qt::WaitCursor);
    ResetProgress(*this);
}

FormWait::~FormWait() {
    unsetCursor();
}

void FormWait::setProgressText(const QString& text) {
    parts_->labProg->setText(text);
}

void FormWait::setProgressWidth(int twips) {
    QRect bar = parts_->shpProg->geometry();
    bar.setWidth(twipsToPixels(twips));
    parts_->shpProg->setGeometry(bar);
}

int FormWait::frameWidth() const {
    return parts_->shpFrame->width() * platform::kTwipsPerPixel;
}

void FormWait::repaintNow() {
    repaint();
}

} // namespace orlix
