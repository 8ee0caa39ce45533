// Headers that most test sources include, parsed once per build.
#include "Precompiled.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
