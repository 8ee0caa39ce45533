#pragma once

#include <QByteArray>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace orlix::test {

// The user that plays another local user in the tests: nobody.
inline constexpr uid_t kNobody = 65534;

// Runs `work` in a child process that has become user nobody (no extra groups); returns the
// text it reported. Empty when this process cannot change users, that is, when it does not run
// as root.
std::optional<QByteArray> asNobody(const std::function<QByteArray()>& work);

} // namespace orlix::test
