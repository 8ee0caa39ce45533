#include "platform/files/NativePath.h"

#include <cstring>

namespace orlix::platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // byte b >= 0x80 is kept as kEscapeBase + b
constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at `in` (with `left` bytes to go), and its code
// point; 0 when invalid.
int decodeOne(const unsigned char* in, qsizetype left, char32_t& cp) {
    const unsigned char lead = in[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    int length = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(in[i]))
            return 0;
        cp = (cp << 6) | (in[i] & 0x3F);
    }
    // Overlong forms, encoded surrogates and values past Unicode are not valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

// Writes the text of `size` bytes to `out` and gives the number of units written. `out` needs
// room for `size` units: a byte gives at most one unit, and only four bytes give two.
qsizetype decodeInto(const unsigned char* in, qsizetype size, char16_t* out) {
    char16_t* const start = out;
    for (qsizetype at = 0; at < size;) {
        if (in[at] < 0x80) {
            // A run of ASCII, widened in a loop simple enough to vectorise.
            qsizetype end = at + 1;
            while (end < size && in[end] < 0x80)
                ++end;
            for (; at < end; ++at)
                *out++ = in[at];
            continue;
        }
        char32_t cp = 0;
        const int length = decodeOne(in + at, size - at, cp);
        if (length == 0) {
            *out++ = static_cast<char16_t>(kEscapeBase + in[at++]);
        } else if (cp >= 0x10000) {
            *out++ = QChar::highSurrogate(cp);
            *out++ = QChar::lowSurrogate(cp);
            at += length;
        } else {
            *out++ = static_cast<char16_t>(cp);
            at += length;
        }
    }
    return out - start;
}

void appendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out.append(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.append(static_cast<char>(0xC0 | (cp >> 6)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(static_cast<char>(0xE0 | (cp >> 12)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (cp >> 18)));
        out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isEscapedByte(char16_t u) {
    return u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF;
}

} // namespace

QString fromNative(const QByteArray& bytes) {
    return fromNative(QString(), bytes);
}

QString fromNative(const QString& head, QByteArrayView name) {
    QString text(head.size() + name.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    std::memcpy(out, head.utf16(), static_cast<std::size_t>(head.size()) * sizeof(char16_t));
    const qsizetype written = decodeInto(reinterpret_cast<const unsigned char*>(name.data()),
                                         name.size(), out + head.size());
    text.resize(head.size() + written); // shrinking keeps the block
    return text;
}

QByteArray toNative(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const int n = path.size();
    for (int i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(u, path.at(i + 1).unicode()));
            ++i;
        } else if (isEscapedByte(u)) {
            out.append(static_cast<char>(u - kEscapeBase));
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

QString forDisplay(const QString& path) {
    QString shown = path;
    const int n = shown.size();
    for (int i = 0; i < n; ++i) {
        const char16_t u = shown.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && shown.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (QChar::isSurrogate(u)) {
            shown[i] = QChar(static_cast<char16_t>(kReplacement));
        }
    }
    return shown;
}

} // namespace orlix::platform
