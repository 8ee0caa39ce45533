#include "app/SplashTexts.h"
#include "app/AppInfo.h"

#include <gtest/gtest.h>

namespace orlix {
namespace {

struct TextCase {
    SplashTexts texts;
    const char* appVersion;
    const char* copyright;
    const char* url;
};

TEST(SplashTexts, LabelsAreIndentedByTwoSpacesAndVersionsWrittenWithoutLeadingZeros) {
    const TextCase cases[] = {
        {{"Orlix", 1, 4, 2, "Copyright (C) 2003 Someone", "https://orlix.example.org/"},
         "  Orlix  Version 1.4.2",
         "  Copyright (C) 2003 Someone",
         "  https://orlix.example.org/"},
        {{"Orlix", 1, 4, 2, "", ""}, "  Orlix  Version 1.4.2", "  ", "  "},
        {{"Orlix", 10, 0, 123, "(c)", "www.example.jp"},
         "  Orlix  Version 10.0.123",
         "  (c)",
         "  www.example.jp"},
        {{"", 0, 0, 0, QStringLiteral("著作権 鈴木"), "  x  "},
         "    Version 0.0.0",
         "  著作権 鈴木",
         "    x  "},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(appVersionText(c.texts), QString::fromUtf8(c.appVersion));
        EXPECT_EQ(copyrightText(c.texts), QString::fromUtf8(c.copyright));
        EXPECT_EQ(urlText(c.texts), QString::fromUtf8(c.url));
    }
}

TEST(SplashTexts, BuildTextsComeFromTheVersionRecord) {
    const SplashTexts texts = SplashTexts::fromBuild();
    EXPECT_EQ(texts.title, QString::fromUtf8(app::kTitle));
    EXPECT_EQ(texts.legalCopyright, QString::fromUtf8(app::kLegalCopyright));
    EXPECT_EQ(texts.comments, QString::fromUtf8(app::kComments));
    // This build is version 1.04.0002.
    EXPECT_EQ(appVersionText(texts), QStringLiteral("  Orlix  Version 1.4.2"));
}

} // namespace
} // namespace orlix
