#pragma once

#include <QObject>

#include <functional>

class QComboBox;
class QMimeData;

namespace orlix {

// Makes a path box take dragged files and folders: data dropped onto the box or its text goes
// to `take`, which tells whether it took it (a file list with a local path). Only a file list
// is welcome while dragging; dragged text is refused rather than typed into the box. Lives as
// long as the box.
class PathDrop : public QObject {
public:
    using Take = std::function<bool(const QMimeData&)>;

    PathDrop(QComboBox& box, Take take);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Take take_;
};

} // namespace orlix
