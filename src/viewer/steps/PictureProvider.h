#pragma once

#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/SizeRequest.h"

#include <QString>

#include <functional>

namespace orlix {

// Whether the full resolution of a fitted picture on screen is decoded ahead of a Home that
// may come: only once the show has asked for a full resolution (a step at real size), never
// by default.
enum class FullResolution { WhenAsked, Ahead };

// Where the slide steps get their pictures (PictureSource in the program). `done` runs once,
// on the GUI thread: before fetch or refine returns when the picture is at hand, later
// otherwise, and never after cancelAll().
class PictureProvider {
public:
    using Done = std::function<void(PicturePtr)>;

    virtual ~PictureProvider() = default;

    // The picture at `path` as `request` asks, for a step that moves onto it.
    virtual void fetch(const QString& path, const SizeRequest& request, Done done) = 0;
    // `shown` made fit for `request`, for a step that draws it again.
    virtual void refine(const PicturePtr& shown, const SizeRequest& request, Done done) = 0;
    // After a step: what the show will want next (empty: nothing in this folder), as `request`
    // asks, and, with `shownWhole` Ahead, the full resolution of `shown` when it is reduced.
    virtual void prepare(const QString& nextPath, const SizeRequest& request,
                         const PicturePtr& shown, FullResolution shownWhole) = 0;
    // A picture the viewer no longer shows.
    virtual void retire(PicturePtr picture) = 0;
    // Abandons everything under way.
    virtual void cancelAll() = 0;
};

} // namespace orlix
