// Headers that most of the program's sources include, parsed once per build: Qt's headers cost
// most of a source's compile time.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPainter>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>
