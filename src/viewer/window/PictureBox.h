#pragma once

#include <QImage>
#include <QWidget>

namespace orlix {

// PicView: shows a ready-made frame and nothing else. The frame is in device pixels; the box
// draws it one frame pixel per device pixel from its top-left corner, black where it does
// not reach. Painting never scales or decodes anything itself.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Puts the box at `logical` (its parent's logical pixels) on a screen of `devicePixelRatio`.
    void place(const QRect& logical, qreal devicePixelRatio);

    // `devicePixelRatio`: frame pixels per logical pixel.
    void setFrame(const QImage& frame, qreal devicePixelRatio);
    const QImage& frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    qreal ratio_ = 1.0;
};

} // namespace orlix
