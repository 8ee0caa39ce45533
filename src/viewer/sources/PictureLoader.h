#pragma once

#include "decode/codec/PictureDecoder.h"
#include "viewer/steps/DecodedPicture.h"
#include "viewer/steps/SizeRequest.h"

#include <atomic>
#include <memory>

namespace orlix {

// Opens and decodes the viewer's pictures, on the decoding thread: every file-system call of
// the viewer's pictures happens here, never on the GUI thread. A picture is only ever made of
// one content of its file: a file rewritten while it is read is read again, and a picture is
// decoded again through its open file only while that still holds what was shown.
class PictureLoader {
public:
    explicit PictureLoader(std::shared_ptr<PictureDecoder> decoder);

    // This loader, its decodes hurried or not (DecodeRequest::hurried).
    PictureLoader hurried(bool hurried) const;

    // The file at `path` as it is now, decoded as `request` asks (`whole`: at full resolution
    // even where the request would do with less), with the frame the request makes of it.
    // `kept`, when not null, is used instead when it was decoded from the very file now at
    // `path` and that file has not changed since.
    PicturePtr load(const QString& path, const SizeRequest& request, bool whole,
                    const PicturePtr& kept, const std::atomic<bool>& cancelled) const;

    // `shown` decoded again for `request`: through the file it was read from while that still
    // holds what was shown. Once it has changed, with `reopen` the file at its path as it is
    // now, a new picture with its own size and failures; without, an abandoned picture.
    PicturePtr reload(const PicturePtr& shown, const SizeRequest& request, bool whole, bool reopen,
                      const std::atomic<bool>& cancelled) const;

    // A picture that holds only the failure `error`.
    static PicturePtr failure(const QString& path, const SizeRequest& request, LoadError error);

private:
    // The decode of `file`; null when the file changed while it was read. `shown`, when not
    // null, is the same content decoded before: its frame is taken where it is the same.
    PicturePtr decodeFile(const QString& path, std::shared_ptr<const platform::PictureFile> file,
                          const SizeRequest& request, bool whole,
                          const std::atomic<bool>& cancelled,
                          const DecodedPicture* shown = nullptr) const;

    PictureLoader(std::shared_ptr<PictureDecoder> decoder, bool hurried);

    const std::shared_ptr<PictureDecoder> decoder_;
    const bool hurried_ = false;
};

} // namespace orlix
