#include "settings/UriList.h"

#include "platform/files/NativePath.h"

#include <QMimeData>

#include <optional>

namespace orlix {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%2F" -> byte 0x2F. A "%" not followed by two hex digits is kept as it stands, as lenient
// readers of URI lists do.
QByteArray percentDecode(const QByteArray& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '%' && i + 2 < text.size()) {
            const int high = hexValue(text.at(i + 1));
            const int low = hexValue(text.at(i + 2));
            if (high >= 0 && low >= 0) {
                bytes.append(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        bytes.append(text.at(i));
    }
    return bytes;
}

// The still-encoded path of a local file: URI, or nothing for any other URI.
std::optional<QByteArray> encodedLocalPath(const QByteArray& uri) {
    static const QByteArray kScheme("file:");
    if (uri.size() < kScheme.size() || uri.left(kScheme.size()).toLower() != kScheme)
        return std::nullopt;
    QByteArray rest = uri.mid(kScheme.size());
    if (rest.startsWith("//")) {
        const qsizetype pathStart = rest.indexOf('/', 2);
        const QByteArray host = rest.mid(2, pathStart < 0 ? -1 : pathStart - 2);
        if (!host.isEmpty() && host.toLower() != "localhost")
            return std::nullopt;
        if (pathStart < 0)
            return std::nullopt;
        rest = rest.mid(pathStart);
    }
    if (!rest.startsWith('/'))
        return std::nullopt;
    // A query or fragment is no part of a file's name; a literal "?" or "#" in a name is
    // percent-encoded by every file manager.
    for (const char stop : {'?', '#'}) {
        const qsizetype end = rest.indexOf(stop);
        if (end >= 0)
            rest.truncate(end);
    }
    return rest;
}

} // namespace

QStringList LocalPathsFromUriList(const QByteArray& uriList) {
    QStringList paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed(); // also drops the "\r" of the CRLF line ends
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const std::optional<QByteArray> encoded = encodedLocalPath(line);
        if (!encoded)
            continue;
        const QByteArray bytes = percentDecode(*encoded);
        // A NUL cannot be part of a path; such a URI is malformed.
        if (bytes.contains('\0'))
            continue;
        paths.append(platform::fromNative(bytes));
    }
    return paths;
}

QString FirstDroppedPath(const QMimeData& data) {
    const QString mimeType = QString::fromLatin1(kUriListMimeType);
    if (!data.hasFormat(mimeType))
        return {};
    const QStringList paths = LocalPathsFromUriList(data.data(mimeType));
    return paths.isEmpty() ? QString() : paths.first();
}

} // namespace orlix
