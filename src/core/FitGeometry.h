#pragma once

#include <QSize>

namespace orlix {

// The arithmetic of fitting a picture into the viewer's window. All lengths are twips; a widget
// reports its position and size in whole logical pixels, 15 twips each. The viewer lays
// pictures out by it, and a decoder shrinks a picture to the very frame the viewer will show.

// A length in twips as a widget reports it after being given `twips`: whole pixels.
int asPlacedTwips(double twips);

// The size given to PicView by the fit rule: the picture's own size when it fits into
// sw x vh, otherwise scaled down keeping its aspect ratio. bw, bh: the picture's size.
struct FitSize {
    float width = 0;
    float height = 0;
};
FitSize fitPicture(double sw, double vh, double bw, double bh);

// PicView's place as it reports it after fitting and centring in the band 0..viewHeight.
struct PicturePlacement {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
PicturePlacement placePicture(int scaleWidth, int viewHeight, double bw, double bh);

// Where fitted pictures go: the window's inner width and the height a picture may use, in
// twips, and the screen's device pixels per logical pixel. One picture pixel is one device
// pixel, so a picture that fits is drawn unscaled and a larger one is shrunk to its frame.
struct FitBox {
    int scaleWidth = 0;
    int viewHeight = 0;
    double devicePixelRatio = 1.0;

    bool isEmpty() const { return scaleWidth <= 0 || viewHeight <= 0; }
    // Twips per picture pixel.
    double twipsPerPixel() const;
    // PicView's place for a picture of `pixelSize` (upright, whole).
    PicturePlacement placementFor(QSize pixelSize) const;
    // Whether a picture of `pixelSize` fits unscaled.
    bool fitsUnscaled(QSize pixelSize) const;
    // The box in device pixels, rounded up.
    QSize deviceBox() const;
    // The device pixels PicView covers when placed at `placement`.
    QSize deviceSizeOf(const PicturePlacement& placement) const;
    // The frame a picture of `pixelSize` that does not fit unscaled is shrunk to: the device
    // pixels of its place.
    QSize frameSize(QSize pixelSize) const { return deviceSizeOf(placementFor(pixelSize)); }

    bool operator==(const FitBox& other) const {
        return scaleWidth == other.scaleWidth && viewHeight == other.viewHeight &&
               devicePixelRatio == other.devicePixelRatio;
    }
    bool operator!=(const FitBox& other) const { return !(*this == other); }
};

} // namespace orlix
