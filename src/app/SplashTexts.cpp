#include "app/SplashTexts.h"

#include "core/AppInfo.h"

namespace orlix {

namespace {

const QString kIndent = QStringLiteral("  ");

} // namespace

SplashTexts SplashTexts::fromBuild() {
    SplashTexts texts;
    texts.title = QString::fromUtf8(app::kTitle);
    texts.versionMajor = app::kVersionMajor;
    texts.versionMinor = app::kVersionMinor;
    texts.versionRevision = app::kVersionRevision;
    texts.legalCopyright = QString::fromUtf8(app::kLegalCopyright);
    texts.comments = QString::fromUtf8(app::kComments);
    return texts;
}

QString appVersionText(const SplashTexts& texts) {
    return kIndent + texts.title + QStringLiteral("  Version ") +
           QString::number(texts.versionMajor) + QLatin1Char('.') +
           QString::number(texts.versionMinor) + QLatin1Char('.') +
           QString::number(texts.versionRevision);
}

QString copyrightText(const SplashTexts& texts) {
    return kIndent + texts.legalCopyright;
}

QString urlText(const SplashTexts& texts) {
    return kIndent + texts.comments;
}

} // namespace orlix
