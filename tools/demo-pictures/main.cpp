// Writes the demo pictures into the folder given as the only argument.

#include "DemoPictures.h"
#include "GifWriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char** argv) {
    // Drawing text needs a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    for (const orlix::demo::DemoPicture& picture : orlix::demo::drawDemoPictures()) {
        const QString path = folder.filePath(picture.fileName);
        bool written = false;
        if (picture.fileName.endsWith(QLatin1String(".gif"))) {
            const QByteArray gif = orlix::demo::encodeGif(picture.image);
            QFile file(path);
            written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                      file.write(gif) == gif.size() && file.flush();
        } else {
            QImageWriter writer(path);
            writer.setQuality(90);
            written = writer.write(picture.image);
        }
        if (!written) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
