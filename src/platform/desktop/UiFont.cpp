#include "platform/desktop/UiFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace orlix::platform {

QString uiGothicFamily() {
    // Proportional faces before monospaced ones: MS UI Gothic is proportional, and the
    // captions were laid out for its narrow Latin letters.
    static const char* const kCandidates[] = {
        "MS UI Gothic",       "IPAPGothic", "IPAGothic",    "Noto Sans CJK JP",
        "Source Han Sans JP", "VL PGothic", "TakaoPGothic", "Droid Sans Fallback",
    };
    static const QString chosen = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate : kCandidates) {
            const QString family = QString::fromLatin1(candidate);
            if (installed.contains(family, Qt::CaseInsensitive))
                return family;
        }
        // Nothing Japanese-capable by name: the default font, whose fallback chain still
        // finds glyphs for the tooltips wherever they exist.
        return QFont().family();
    }();
    return chosen;
}

QFont uiGothicFont(qreal pointSize) {
    QFont font(uiGothicFamily());
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace orlix::platform
