#pragma once

#include "platform/files/PictureFile.h"

#include <QString>

namespace orlix {

// Why a picture could not be decoded. Every failure but InvalidPicture is reported to
// the user as "<number> <description>"; an undecodable picture is passed over in silence.
enum class LoadError {
    None,
    TooLarge,         // the picture's header claims more pixels than the viewer will decode
    DecodeFailed,     // the decoder ran out of memory, time or threads, or was stopped by force
    FileNotFound,     // the file is gone (removed since its folder was listed)
    DeviceIO,         // the file could not be read
    PermissionDenied, // the file may not be read
    PathInvalid,      // a folder or another kind of non-regular file, or an unusable name
    InvalidPicture,   // the contents are not a picture the decoder understands
};

// The number shown for a failure; 0 for None.
int failureNumber(LoadError error);

// The Japanese description shown after the number.
QString failureDescription(LoadError error);

// "<number> <description>".
QString failureMessage(LoadError error);

// True for the failures the user is told about.
bool isReported(LoadError error);

// The failure that a file's open or read error stands for.
LoadError loadErrorFrom(platform::FileError error);

} // namespace orlix
