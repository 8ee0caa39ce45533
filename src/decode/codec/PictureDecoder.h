#pragma once

#include "core/FitGeometry.h"
#include "decode/codec/LoadError.h"
#include "platform/files/PictureFile.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace orlix {

// A picture to decode: plain data, so that it can be served by another thread or process.
struct DecodeRequest {
    // The file, opened by whoever asks; the decoder reads nothing else.
    std::shared_ptr<const platform::PictureFile> file;
    // The box, in device pixels, that the upright picture will be fitted into (never enlarged):
    // a JPEG is then decoded no larger than that needs. Empty: the whole picture.
    QSize fitInto;
    // The ICC profile of the display the picture is shown on, whose colours the decoded
    // picture is converted to. Empty: sRGB.
    QByteArray displayProfile = {};
    // Whether the pixels may come in memory the decoder fills again on its next decode
    // (DecodeResult::borrowed): for a caller that copies what it keeps before asking again.
    bool mayBorrow = false;
    // Whether someone waits for this picture. Only then does a JPEG take a second core: its
    // second band passes over the rows above it, work paid for with processor time that a
    // picture decoded ahead, while the one before it is shown, would spend for nothing.
    bool hurried = false;
    // Where the picture will be shown fitted; empty: nowhere in particular. A picture that does
    // not fit it unscaled then comes as its frame (DecodeResult::framed), which is all a fitted
    // view shows of it.
    FitBox frameBox = {};
};

// What a decode gives: the picture with its whole size, or the failure that stopped it.
struct DecodeResult {
    LoadError error = LoadError::None;
    bool cancelled = false;
    // The whole picture, upright, in its own pixels: what the caption gives.
    QSize pixelSize;
    // The picture, upright (its Exif orientation applied), at `eighths`/8 of its size; or,
    // `framed`, its frame: the picture shrunk to DecodeRequest::frameBox.frameSize(pixelSize),
    // 24-bit (QImage::Format_RGB888), transparency laid over black, `eighths` the scale it was
    // decoded at before it was shrunk.
    static constexpr int kWhole = 8; // eighths: the picture at its own size
    QImage image;
    int eighths = kWhole;
    bool framed = false;
    // The image's pixels are the decoder's, good only until its next decode or its release:
    // only ever so when the request allowed it.
    bool borrowed = false;

    bool ok() const { return error == LoadError::None && !cancelled && !image.isNull(); }
};

// Turns a picture file into a DecodeResult. Runs on a decoding thread, one request at a time
// per object; `cancelled` may turn true from another thread at any moment, and the decode
// then ends soon with DecodeResult::cancelled set. Not const: a decoder may keep what serves
// the next request (a decoder process, its memory).
class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    virtual DecodeResult decode(const DecodeRequest& request,
                                const std::atomic<bool>& cancelled) = 0;
};

// The kinds of picture the program shows, told from a file's first bytes.
enum class PictureKind { Unknown, Bmp, Jpeg, Gif };
PictureKind pictureKindOf(const char* head, std::int64_t length);
// The name of Qt's reader for `kind`; "" for Unknown.
const char* readerFormatOf(PictureKind kind);

// The program's decoder: BMP, JPEG and GIF and nothing else (judged from the content, so that
// no other reader Qt has is reachable through a picture's name), with the reducing JPEG reader
// for photos shown fitted. Pictures larger than kMaxPixels are refused before anything large is
// allocated.
class StandardPictureDecoder : public PictureDecoder {
public:
    // Largest picture decoded: comfortably above 200 megapixels.
    static constexpr std::int64_t kMaxPixels = std::int64_t(256) * 1024 * 1024;
    // Qt's own allocation ceiling in MB: admits kMaxPixels at 4 bytes a pixel with room to
    // spare, where Qt's default (128 MB) would refuse ordinary 48-megapixel photos.
    static constexpr int kAllocationLimitMb = 1100;

    // Where a picture's pixels go: an image of the size and format asked for, or a null one
    // for memory of the decoder's own choosing. Called on the decoding thread.
    using PictureMemory = std::function<QImage(QSize size, QImage::Format format)>;

    StandardPictureDecoder();
    // Decoding into `memory`: a decoder process decodes large pictures straight into memory
    // it shares with the program.
    explicit StandardPictureDecoder(PictureMemory memory);

    DecodeResult decode(const DecodeRequest& request, const std::atomic<bool>& cancelled) override;

    // Whether a picture of `size` (as its header gives it) is within kMaxPixels.
    static bool withinPixelLimit(const QSize& size);

    // The smallest size, upright, that a picture of `whole` pixels must be decoded at to be
    // shown fitted into `fitInto` (empty: whole).
    static QSize neededFor(QSize whole, QSize fitInto);
    // The scale, in eighths, a JPEG of `whole` pixels (upright) is decoded at to be shown fitted
    // into `fitInto`; other pictures are always decoded whole. The decoded picture, upright, is
    // then JpegReader::scaledSize(whole, eighths).
    static int jpegEighthsFor(QSize whole, QSize fitInto);
    // The frame a picture of `whole` pixels (upright) comes as for a request with `frameBox`;
    // empty when it comes whole (at its scale) instead.
    static QSize frameFor(QSize whole, const FitBox& frameBox);

private:
    DecodeResult decodeGuarded(const DecodeRequest& request,
                               const std::atomic<bool>& cancelled) const;
    // Every JPEG goes through the reducing reader, whatever its colour space: it is the one
    // that can be cancelled at any point and that holds to one reading of the header.
    DecodeResult decodeJpeg(const DecodeRequest& request, const std::atomic<bool>& cancelled) const;
    // The frame of `image`, a whole picture, shrunk to `target`; null when there is no
    // memory for it, or once `cancelled` turns true.
    QImage framed(const QImage& image, QSize target, const std::atomic<bool>& cancelled) const;

    const PictureMemory memory_;
};

} // namespace orlix
