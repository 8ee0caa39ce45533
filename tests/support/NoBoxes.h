#pragma once

#include "platform/desktop/MessageService.h"

#include <gtest/gtest.h>

namespace orlix::test {

// For tests in which no failure box may appear: each one fails the test.
class NoBoxes : public platform::MessageService {
public:
    void warning(QWidget*, const QString&, const QString& text) override {
        ADD_FAILURE() << "unexpected box: " << text.toStdString();
    }
};

} // namespace orlix::test
