#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>

// File names on Linux are byte strings that need not be valid UTF-8 (old archives carry
// Shift-JIS names). The program keeps every path as a QString, so the conversion must be
// lossless: each byte that is not part of a valid UTF-8 sequence is kept as the lone low
// surrogate U+DC80 + (byte - 0x80), and converted back to that byte on the way out.

namespace orlix::platform {

// The platform's path separator.
inline constexpr QChar kSeparator = QLatin1Char('/');

// Bytes as the file system gives them -> the program's text, losslessly.
QString fromNative(const QByteArray& bytes);

// `head` followed by fromNative(name), made in one piece: a folder scan makes one such path
// per entry.
QString fromNative(const QString& head, QByteArrayView name);

// The program's text -> the bytes to hand to the file system; the exact inverse of
// fromNative. A lone surrogate that fromNative cannot have produced becomes U+FFFD.
QByteArray toNative(const QString& path);

// The text to show on screen: every kept byte becomes U+FFFD, everything else is unchanged.
QString forDisplay(const QString& path);

} // namespace orlix::platform
