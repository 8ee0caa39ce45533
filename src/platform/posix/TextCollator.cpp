#include "platform/TextCollator.h"

#include <QCollator>
#include <QLocale>

namespace orlix::platform {

struct TextCollator::Impl {
    QCollator collator;
    // Under the C locale Qt compares code points and its keys are the UTF-8 bytes of the text.
    bool plain = false;
};

TextCollator::TextCollator() : impl_(std::make_unique<Impl>()) {
    const QLocale locale;
    impl_->collator = QCollator(locale);
    impl_->collator.setCaseSensitivity(Qt::CaseInsensitive);
    impl_->plain = locale.language() == QLocale::C;
}

TextCollator::~TextCollator() = default;

QCollatorSortKey TextCollator::sortKey(QString text) const {
    return impl_->collator.sortKey(std::move(text).toCaseFolded());
}

int TextCollator::compare(const QString& a, const QString& b) const {
    const QString foldedA = a.toCaseFolded();
    const QString foldedB = b.toCaseFolded();
    if (impl_->plain) {
        // The same bytes the C locale's key holds, so that compare() and sortKey() agree even on
        // lone surrogates (kept bytes of non-UTF-8 file names), which UTF-16 order ranks apart.
        const int order = foldedA.toUtf8().compare(foldedB.toUtf8());
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    const int order = impl_->collator.compare(foldedA, foldedB);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace orlix::platform
