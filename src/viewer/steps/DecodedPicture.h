#pragma once

#include "decode/codec/LoadError.h"
#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"
#include "viewer/steps/FrameParams.h"
#include "viewer/steps/SizeRequest.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace orlix {

// A picture as the viewer holds it (PicBak): the decode of one file, made for one size
// request, with the frame PicView shows for that request.
struct DecodedPicture {
    QString path;
    // Kept open, so that a later full-resolution decode reads the very file this one read.
    std::shared_ptr<const platform::PictureFile> file;
    LoadError error = LoadError::None;
    bool cancelled = false;
    QSize pixelSize; // the whole picture, upright, in its own pixels: what the caption gives
    QImage image;    // the whole picture, upright, at `eighths`/8 of its size
    int eighths = DecodeResult::kWhole;
    SizeRequest request;
    FrameParams frameParams;
    QImage frame;

    // No failure, and something to show.
    bool ok() const {
        return error == LoadError::None && !cancelled && (!image.isNull() || !frame.isNull());
    }
    bool fullResolution() const {
        return ok() && !image.isNull() && eighths == DecodeResult::kWhole;
    }
    // Whether this picture can be drawn for `wanted` without decoding the file again: from its
    // image when that has the pixels the request needs, or as its kept frame when that is the
    // very frame `wanted` shows.
    bool serves(const SizeRequest& wanted) const;
    // The identity of the file as it was read; a default identity when none could be opened.
    platform::FileIdentity identity() const;

    // This picture with its frame and without its image: what a step back onto it needs.
    // Null when there is no frame to keep.
    std::shared_ptr<const DecodedPicture> keptAsFrame() const;
};

using PicturePtr = std::shared_ptr<const DecodedPicture>;

} // namespace orlix
