#include "decode/codec/LoadError.h"

namespace orlix {

namespace {

struct FailureText {
    LoadError error;
    int number;
    const char16_t* description;
};

// The numbers are those a user of the classic picture viewers knows; keep them stable.
constexpr FailureText kFailures[] = {
    {LoadError::TooLarge, 7, u"画像が大きすぎるため表示できません。"},
    {LoadError::DecodeFailed, 7, u"画像を読み込めません。"},
    {LoadError::FileNotFound, 53, u"ファイルが見つかりません。"},
    {LoadError::DeviceIO, 57, u"デバイス I/O エラーです。"},
    {LoadError::PermissionDenied, 70, u"アクセスが拒否されました。"},
    {LoadError::PathInvalid, 75, u"パス名が無効です。"},
    {LoadError::InvalidPicture, 481, u"ピクチャが不正です。"},
};

const FailureText* find(LoadError error) {
    for (const FailureText& failure : kFailures) {
        if (failure.error == error)
            return &failure;
    }
    return nullptr;
}

} // namespace

int failureNumber(LoadError error) {
    const FailureText* failure = find(error);
    return failure ? failure->number : 0;
}

QString failureDescription(LoadError error) {
    const FailureText* failure = find(error);
    return failure ? QString::fromUtf16(failure->description) : QString();
}

QString failureMessage(LoadError error) {
    return QString::number(failureNumber(error)) + QLatin1Char(' ') + failureDescription(error);
}

bool isReported(LoadError error) {
    return error != LoadError::None && error != LoadError::InvalidPicture;
}

LoadError loadErrorFrom(platform::FileError error) {
    switch (error) {
    case platform::FileError::None:
        return LoadError::None;
    case platform::FileError::NotFound:
        return LoadError::FileNotFound;
    case platform::FileError::AccessDenied:
        return LoadError::PermissionDenied;
    case platform::FileError::NotAFile:
        return LoadError::PathInvalid;
    case platform::FileError::TooLarge:
        return LoadError::TooLarge;
    case platform::FileError::ReadFailed:
        break;
    }
    return LoadError::DeviceIO;
}

} // namespace orlix
