#pragma once

#include <QString>

#include <optional>

namespace orlix::platform {

// The platform's numeric-text test: an optional sign followed by at least one digit.
// Besides ASCII it accepts what a Japanese input method types in full-width mode: the
// full-width digits U+FF10..U+FF19 and the full-width signs U+FF0B and U+FF0D.
// Returns the value, or nothing when the text is not a number.
std::optional<long long> numericValue(const QString& text);

// Trims the ordinary space and the ideographic space U+3000 from both ends.
QString trimSpaces(const QString& text);

} // namespace orlix::platform
