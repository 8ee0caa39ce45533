#pragma once

#include "decode/codec/ColourProfile.h"

#include <QByteArray>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace orlix {

class ColourTransform;

// The colour transforms made lately, one per pair of profiles and picture model, so that the
// pictures of a show, which mostly share their profiles, share one transform. A show meets few
// pairs, and each transform may hold a sizeable table: the oldest of more than kPairs goes.
// Safe to use from several threads; a transform is made outside the lock, so that one thread
// making a slow one keeps no other from a transform that is there already.
class ColourTransformCache {
public:
    static constexpr std::size_t kPairs = 16;

    using Make = std::function<std::shared_ptr<const ColourTransform>()>;

    // The transform kept for `source` shown on `display`, or the one `make` gives (null for
    // none), kept from now on. Two threads asking for a new pair at once may both make it; the
    // first kept serves both.
    std::shared_ptr<const ColourTransform> find(const ColourProfile& source,
                                                const QByteArray& display, const Make& make);

private:
    // The two profiles' digests and the picture's model.
    using Key = std::tuple<QByteArray, QByteArray, ColourModel>;

    std::mutex mutex_;
    std::map<Key, std::shared_ptr<const ColourTransform>> entries_;
    std::deque<Key> order_; // oldest first
};

} // namespace orlix
