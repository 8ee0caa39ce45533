#pragma once

#include <QString>

namespace orlix {

// What the splash window shows, as the application object supplies it. The copyright line and
// the home-page address are whatever the build put into the version record; both may be empty.
struct SplashTexts {
    QString title;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionRevision = 0;
    QString legalCopyright;
    QString comments; // the home-page address

    // The texts of this build (app/AppInfo.h).
    static SplashTexts fromBuild();
};

// "  Orlix  Version 1.4.2": numbers in plain decimal, without leading zeros.
QString appVersionText(const SplashTexts& texts);

// Two spaces, then the copyright line.
QString copyrightText(const SplashTexts& texts);

// Two spaces, then the home-page address.
QString urlText(const SplashTexts& texts);

} // namespace orlix
