#include "viewer/window/ViewerLabels.h"

#include "platform/desktop/ScreenMetrics.h"
#include "platform/files/NativePath.h"
#include "viewer/steps/GuideColours.h"

#include <QLabel>

#include <algorithm>

namespace orlix {

namespace {

using platform::kTwipsPerPixel;

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

int pixels(double twips) {
    return platform::twipsToPixels(twips);
}

QLabel* newLabel(QWidget* window) {
    auto* label = new QLabel(window);
    label->setFocusPolicy(Qt::NoFocus); // the window keeps the keyboard
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Two text lines of the caption label: the height it has on a 96-dpi screen, or more when
// the font's lines are taller.
constexpr int kFileNameHeight = 360;

} // namespace

ViewerLabels::ViewerLabels(QWidget* window) {
    for (std::size_t i = 0; i < LabGuide.size(); ++i) {
        LabGuide[i] = newLabel(window);
        LabGuide[i]->setObjectName(QStringLiteral("LabGuide%1").arg(i));
    }
    LabFileName = newLabel(window);
    LabFileName->setObjectName(QStringLiteral("LabFileName"));
    LabFileName->setAlignment(Qt::AlignRight | Qt::AlignTop);
}

void ViewerLabels::layOut(int scaleWidth, int scaleHeight, bool guideOn) {
    std::array<GuideLayout::Measured, kGuideLabelCount> measured{};
    for (int i = 0; i < kGuideLabelCount; ++i) {
        QLabel* label = LabGuide[i];
        label->setVisible(guideOn);
        label->adjustSize(); // one empty text line
        measured[i].heightBefore = label->height() * kTwipsPerPixel;
        setTextColour(label, kGuideWhite);
        label->setText(GuideLayout::caption(GuideLabel(i)));
        label->adjustSize();
        measured[i].widthAfter = label->width() * kTwipsPerPixel;
    }
    const int lineHeight = measured[0].heightBefore;
    const int fileNameHeight = std::max(kFileNameHeight, 2 * lineHeight);
    const GuideLayout layout(scaleWidth, scaleHeight, measured, fileNameHeight);
    for (int i = 0; i < kGuideLabelCount; ++i) {
        const GuideLayout::Place place = layout.label(GuideLabel(i));
        LabGuide[i]->move(pixels(place.left), pixels(place.top));
    }

    LabFileName->hide();
    LabFileName->setGeometry(pixels(layout.fileNameLeft()), pixels(layout.fileNameTop()),
                             std::max(0, pixels(layout.fileNameWidth())), pixels(fileNameHeight));
    setTextColour(LabFileName, kGuideWhite);
    setCaption(QString());
}

void ViewerLabels::setVisible(bool visible) {
    LabFileName->setVisible(visible);
    for (QLabel* label : LabGuide)
        label->setVisible(visible);
}

void ViewerLabels::repaint(std::int16_t realSize, std::int16_t guide, std::int16_t autoSwitch,
                           std::int16_t lastKey) {
    GuideTextColours current;
    for (int i = 0; i < static_cast<int>(current.size()); ++i)
        current[i] = textColour(LabGuide[i]);
    const GuideTextColours colours = repaintedGuide(current, realSize, guide, autoSwitch, lastKey);
    for (int i = 0; i < static_cast<int>(colours.size()); ++i)
        setTextColour(LabGuide[i], colours[i]);

    QLabel* autoLabel = guideLabel(GuideLabel::Auto);
    const AutoLabelLook look = autoLabelLook(autoSwitch);
    QPalette palette = autoLabel->palette();
    palette.setColor(QPalette::Window, look.background);
    palette.setColor(QPalette::WindowText, look.text);
    autoLabel->setPalette(palette);
    autoLabel->setAutoFillBackground(look.opaque);
}

void ViewerLabels::mark(GuideLabel label) {
    setTextColour(guideLabel(label), kGuideGreen);
}

void ViewerLabels::setPaused(bool paused) {
    setTextColour(LabFileName, paused ? kGuideGreen : kGuideWhite);
}

void ViewerLabels::setCaption(const QString& caption) {
    // A label breaks lines at line feeds only; what is shown of a path is its readable form.
    QString shown = platform::forDisplay(caption);
    shown.replace(QChar(u'\r'), QChar(u'\n'));
    LabFileName->setText(shown);
}

int ViewerLabels::guideHeightTwips() const {
    return LabGuide[0]->height() * kTwipsPerPixel;
}

} // namespace orlix
