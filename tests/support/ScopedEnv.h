#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace orlix::test {

// Sets an environment variable for one scope (a null value unsets it), then puts back what was
// there, unset included.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name)) {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ScopedEnv(const char* name, const QByteArray& value)
        : ScopedEnv(name, value.isNull() ? nullptr : value.constData()) {}
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};

} // namespace orlix::test
