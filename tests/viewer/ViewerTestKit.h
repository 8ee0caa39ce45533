#pragma once

#include "platform/MessageService.h"

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

namespace orlix::test {

// Records the warning boxes a window would have shown; `onWarning` runs inside the "box",
// where a real modal box would run a nested event loop.
class RecordingMessages : public platform::MessageService {
public:
    struct Box {
        QString title;
        QString text;
    };
    void warning(QWidget*, const QString& title, const QString& text) override {
        boxes.push_back({title, text});
        if (onWarning)
            onWarning();
    }
    std::vector<Box> boxes;
    std::function<void()> onWarning;
};

// The bytes of a picture file of `size` in `format` ("BMP", "JPEG", "GIF"), filled with
// `colour`.
QByteArray encodePicture(const QSize& size, const char* format, const QColor& colour = Qt::gray);

// A JPEG of `size` whose Exif block says how it is to be turned (orientation 1 to 8).
QByteArray jpegWithOrientation(const QSize& size, int orientation);

} // namespace orlix::test
