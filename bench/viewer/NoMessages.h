#pragma once

#include "platform/desktop/MessageService.h"

#include <QtGlobal>

namespace orlix::bench {

// The benchmarks' failure boxes: none is expected, and one would spoil every figure after it.
class NoMessages : public platform::MessageService {
public:
    void warning(QWidget*, const QString&, const QString& text) override {
        qFatal("unexpected failure box: %s", qPrintable(text));
    }
};

} // namespace orlix::bench
