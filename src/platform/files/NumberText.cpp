#include "platform/files/NumberText.h"

namespace orlix::platform {

namespace {

constexpr char16_t kIdeographicSpace = 0x3000;
constexpr char16_t kFullWidthZero = 0xFF10;
constexpr char16_t kFullWidthNine = 0xFF19;
constexpr char16_t kFullWidthPlus = 0xFF0B;
constexpr char16_t kFullWidthMinus = 0xFF0D;

bool isTrimmedSpace(QChar c) {
    return c == QLatin1Char(' ') || c.unicode() == kIdeographicSpace;
}

// The digit's value, or -1. Other scripts' digits (Arabic-Indic and so on) are not accepted:
// nobody types them into this program, and accepting them would hide typing mistakes.
int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= kFullWidthZero && u <= kFullWidthNine)
        return u - kFullWidthZero;
    return -1;
}

} // namespace

std::optional<long long> numericValue(const QString& text) {
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size()) {
        const char16_t u = text.at(pos).unicode();
        if (u == u'+' || u == kFullWidthPlus) {
            ++pos;
        } else if (u == u'-' || u == kFullWidthMinus) {
            negative = true;
            ++pos;
        }
    }
    if (pos == text.size())
        return std::nullopt;

    // Saturates instead of overflowing; callers only need to know that a long text is too big.
    constexpr long long kLimit = 1'000'000'000'000'000LL;
    long long value = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = digitValue(text.at(pos));
        if (digit < 0)
            return std::nullopt;
        if (value < kLimit)
            value = value * 10 + digit;
    }
    return negative ? -value : value;
}

QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmedSpace(text.at(begin)))
        ++begin;
    while (end > begin && isTrimmedSpace(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace orlix::platform
