#pragma once

#include "platform/PictureFile.h"
#include "viewer/FrameRenderer.h"
#include "viewer/LoadError.h"
#include "viewer/ViewGeometry.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace orlix {

// A picture to decode, and the view its frame is for.
struct DecodeRequest {
    QString path;
    // The file as the slide step opened it; null to have the decoder open `path` itself.
    std::shared_ptr<const platform::PictureFile> file;
    ViewParams view;
    // Decode at full resolution even where the view would do with a reduced picture.
    bool fullResolution = false;
};

// What a decode gives: the picture (possibly reduced), its whole size, and the frame PicView
// shows for the request's view before any pan.
struct DecodedPicture {
    QString path;
    // Kept open, so that a later full-resolution decode reads the very file this one read.
    std::shared_ptr<const platform::PictureFile> file;
    LoadError error = LoadError::None;
    bool cancelled = false;
    QSize pixelSize; // the whole picture, upright, in its own pixels: what the caption gives
    QImage image;    // the whole picture, upright, reduced by `reduction`
    int reduction = 1;
    ViewParams view;
    FrameParams frameParams;
    QImage frame;

    bool ok() const { return error == LoadError::None && !cancelled && !image.isNull(); }
    bool fullResolution() const { return ok() && reduction == 1; }
    // Whether this picture can be drawn in `view` without decoding the file again.
    bool serves(const ViewParams& view) const;
    // The identity of the file read; a default identity when none could be opened.
    platform::FileIdentity identity() const;
};

using PicturePtr = std::shared_ptr<const DecodedPicture>;

// Turns a picture file into a DecodedPicture. Runs on the decoding thread, one request at a
// time; `cancelled` may turn true from another thread at any moment, and the decode should
// then end soon (with DecodedPicture::cancelled set).
class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    virtual DecodedPicture decode(const DecodeRequest& request,
                                  const std::atomic<bool>& cancelled) const = 0;
};

// The program's decoder: Qt's readers, and the reducing JPEG reader for photos shown fitted.
// EXIF orientation is applied; pictures whose header claims more than kMaxPixels are refused
// before anything is allocated.
class StandardPictureDecoder : public PictureDecoder {
public:
    // Largest picture decoded: comfortably above 200 megapixels.
    static constexpr std::int64_t kMaxPixels = std::int64_t(256) * 1024 * 1024;
    // Qt's own allocation ceiling in MB; must admit kMaxPixels at 8 bytes a pixel.
    static constexpr int kAllocationLimitMb = 2048;

    StandardPictureDecoder();

    DecodedPicture decode(const DecodeRequest& request,
                          const std::atomic<bool>& cancelled) const override;

    // Whether a picture of `size` (as its header gives it) is within kMaxPixels.
    static bool withinPixelLimit(const QSize& size);
};

} // namespace orlix
