#include "app/QuietMessages.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace orlix {

namespace {

std::atomic<int> openingDisplay{0};

// Qt's own reading of its QT_FATAL_* settings: a number other than 0, or any other text.
bool qtMakesFatal(const char* variable) {
    bool numeric = false;
    const int value = qEnvironmentVariableIntValue(variable, &numeric);
    return numeric ? value != 0 : !qEnvironmentVariableIsEmpty(variable);
}

bool endsTheProgram(QtMsgType type) {
    static const bool fatalWarnings = qtMakesFatal("QT_FATAL_WARNINGS");
    static const bool fatalCriticals = qtMakesFatal("QT_FATAL_CRITICALS");
    switch (type) {
    case QtFatalMsg:
        return true;
    case QtCriticalMsg:
        return fatalWarnings || fatalCriticals;
    case QtWarningMsg:
        return fatalWarnings;
    default:
        return false;
    }
}

void quietMessageHandler(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (type == QtFatalMsg && openingDisplay.load() > 0) {
        std::fputs(kNoDisplaySentence, stderr);
        std::_Exit(1);
    }
    if (!endsTheProgram(type))
        return;
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void installQuietMessageHandler() {
    qInstallMessageHandler(quietMessageHandler);
}

OpeningDisplay::OpeningDisplay() {
    ++openingDisplay;
}

OpeningDisplay::~OpeningDisplay() {
    --openingDisplay;
}

} // namespace orlix
