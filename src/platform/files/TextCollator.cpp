#include "platform/files/TextCollator.h"

#include <QCollator>

#include <unicode/ucol.h>

#include <utility>
#include <vector>

namespace orlix::platform {

namespace {

bool isAscii(QStringView text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

char16_t asciiFolded(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// `text` case-folded into `folded`. Most file names are ASCII, where folding is A-Z to a-z;
// Qt's general folding looks up every character's properties and costs as much as a key.
void caseFoldInto(QStringView text, QString& folded) {
    if (!isAscii(text)) {
        folded = text.toString().toCaseFolded();
        return;
    }
    folded.resize(text.size()); // keeps the block of an earlier key
    char16_t* out = reinterpret_cast<char16_t*>(folded.data());
    for (const QChar c : text)
        *out++ = asciiFolded(c.unicode());
}

QString caseFolded(QStringView text) {
    QString folded;
    caseFoldInto(text, folded);
    return folded;
}

struct UCollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

// ICU set up as Qt sets up its collator for a case-insensitive QCollator of `locale`, so that
// the keys order text as QCollator::compare() does.
std::unique_ptr<UCollator, UCollatorCloser> openLikeQt(const QLocale& locale) {
    const QByteArray name = locale.bcp47Name().toLatin1().replace('-', '_');
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, UCollatorCloser> collator(ucol_open(name.constData(), &status));
    if (U_FAILURE(status))
        return nullptr;
    const std::pair<UColAttribute, UColAttributeValue> settings[] = {
        {UCOL_NORMALIZATION_MODE, UCOL_ON},
        {UCOL_STRENGTH, UCOL_SECONDARY},
        {UCOL_NUMERIC_COLLATION, UCOL_OFF},
        {UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE}};
    for (const auto& [attribute, value] : settings)
        ucol_setAttribute(collator.get(), attribute, value, &status);
    return U_FAILURE(status) ? nullptr : std::move(collator);
}

} // namespace

struct TextCollator::Impl {
    QLocale locale;
    QCollator collator;
    // Under the C locale Qt compares code points and its keys are the UTF-8 bytes of the text.
    bool plain = false;
    // Made on the first key: most scans sort nothing.
    std::unique_ptr<UCollator, UCollatorCloser> keyCollator;
    bool keyCollatorTried = false;
    // The text and the key of the latest key, kept for their blocks.
    QString folded;
    std::vector<uint8_t> key;

    const UCollator* forKeys() {
        if (!keyCollatorTried) {
            keyCollatorTried = true;
            keyCollator = openLikeQt(locale);
        }
        return keyCollator.get();
    }
};

TextCollator::TextCollator() : TextCollator(QLocale()) {}

TextCollator::TextCollator(const QLocale& locale) : impl_(std::make_unique<Impl>()) {
    impl_->locale = locale;
    impl_->collator = QCollator(locale);
    impl_->collator.setCaseSensitivity(Qt::CaseInsensitive);
    impl_->plain = locale.language() == QLocale::C;
}

TextCollator::~TextCollator() = default;

std::unique_ptr<TextCollator> TextCollator::clone() const {
    return std::make_unique<TextCollator>(impl_->locale);
}

void TextCollator::appendSortKey(QStringView text, std::string& keys) const {
    if (impl_->plain) {
        // UTF-8 of the folded text, as compare() reads it.
        if (isAscii(text)) {
            for (const QChar c : text)
                keys += static_cast<char>(asciiFolded(c.unicode()));
        } else {
            keys += caseFolded(text).toStdString();
        }
        return;
    }
    QString& folded = impl_->folded;
    caseFoldInto(text, folded);
    const UCollator* const collator = impl_->forKeys();
    if (!collator) {
        // Qt's collator then compares UTF-16 units; a key of big-endian units orders alike.
        for (const QChar c : std::as_const(folded)) {
            keys += static_cast<char>(c.unicode() >> 8);
            keys += static_cast<char>(c.unicode() & 0xFF);
        }
        return;
    }
    const auto* const units = reinterpret_cast<const UChar*>(folded.utf16());
    const auto length = static_cast<int32_t>(folded.size());
    std::vector<uint8_t>& key = impl_->key;
    if (key.size() < static_cast<std::size_t>(32 + 4 * length))
        key.resize(static_cast<std::size_t>(32 + 4 * length));
    int32_t size =
        ucol_getSortKey(collator, units, length, key.data(), static_cast<int32_t>(key.size()));
    if (size > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(size));
        size = ucol_getSortKey(collator, units, length, key.data(), size);
    }
    // The size takes in the terminating zero, which adds nothing to the order.
    if (size > 1)
        keys.append(reinterpret_cast<const char*>(key.data()), static_cast<std::size_t>(size - 1));
}

int TextCollator::compare(const QString& a, const QString& b) const {
    const QString foldedA = caseFolded(a);
    const QString foldedB = caseFolded(b);
    if (impl_->plain) {
        // The same bytes the C locale's key holds, so that compare() and the keys agree even on
        // lone surrogates (kept bytes of non-UTF-8 file names), which UTF-16 order ranks apart.
        const int order = foldedA.toUtf8().compare(foldedB.toUtf8());
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    const int order = impl_->collator.compare(foldedA, foldedB);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace orlix::platform
