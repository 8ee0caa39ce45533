#include "viewer/steps/FrameRenderer.h"

#include <QPainter>

namespace orlix {

RealSizeCopy clampToPicture(const QSize& pictureSize, const QPoint& origin, const QSize& viewSize) {
    const QRect picture(QPoint(0, 0), pictureSize);
    const QRect window(origin, viewSize);
    RealSizeCopy copy;
    copy.source = picture.intersected(window);
    if (copy.source.isEmpty()) {
        copy.source = QRect();
        return copy;
    }
    copy.target = copy.source.topLeft() - origin;
    return copy;
}

const QImage& FrameRenderer::fitted(const QImage& picture, const QSize& deviceSize) {
    const Request request{picture.cacheKey(), false, deviceSize, QPoint()};
    if (reuse(request))
        return frame_;
    frame_ = QImage();
    if (!picture.isNull() && !deviceSize.isEmpty()) {
        // Shrunk by area averaging, which Qt spreads over the cores of its thread pool.
        if (deviceSize == picture.size())
            frame_ = picture; // shared, not copied
        else
            frame_ = picture.scaled(deviceSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    made_ = request;
    return frame_;
}

const QImage& FrameRenderer::realSize(const QImage& picture, const QPoint& origin,
                                      const QSize& deviceSize) {
    const Request request{picture.cacheKey(), true, deviceSize, origin};
    if (reuse(request))
        return frame_;
    frame_ = QImage();
    if (!picture.isNull() && !deviceSize.isEmpty()) {
        const RealSizeCopy copy = clampToPicture(picture.size(), origin, deviceSize);
        if (copy.target == QPoint(0, 0) && copy.source == QRect(QPoint(0, 0), picture.size()) &&
            deviceSize == picture.size()) {
            frame_ = picture; // the view is the whole picture: share it
        } else {
            frame_ = QImage(deviceSize, QImage::Format_RGB32);
            frame_.fill(Qt::black);
            if (!copy.source.isEmpty()) {
                QPainter painter(&frame_);
                painter.drawImage(copy.target, picture, copy.source);
            }
        }
    }
    made_ = request;
    return frame_;
}

const QImage& FrameRenderer::render(const QImage& picture, const FrameParams& params) {
    if (params.unscaled)
        return realSize(picture, params.origin, params.deviceSize);
    return fitted(picture, params.deviceSize);
}

void FrameRenderer::adopt(const QImage& picture, const FrameParams& params, const QImage& frame) {
    made_ = Request{picture.cacheKey(), params.unscaled, params.deviceSize,
                    params.unscaled ? params.origin : QPoint()};
    frame_ = frame;
}

void FrameRenderer::clear() {
    frame_ = QImage();
    made_ = Request();
}

} // namespace orlix
