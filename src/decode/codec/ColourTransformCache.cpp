#include "decode/codec/ColourTransformCache.h"

#include <QCryptographicHash>

namespace orlix {

namespace {

QByteArray digest(const QByteArray& icc) {
    return icc.isEmpty() ? QByteArray() : QCryptographicHash::hash(icc, QCryptographicHash::Md5);
}

} // namespace

std::shared_ptr<const ColourTransform> ColourTransformCache::find(const ColourProfile& source,
                                                                  const QByteArray& display,
                                                                  const Make& make) {
    const Key key{digest(source.icc), digest(display), source.model};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(key);
        if (found != entries_.end())
            return found->second;
    }
    std::shared_ptr<const ColourTransform> made = make();
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto [entry, added] = entries_.emplace(key, std::move(made));
    if (added) {
        order_.push_back(key);
        if (order_.size() > kPairs) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
    }
    return entry->second;
}

} // namespace orlix
