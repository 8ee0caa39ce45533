#include "decode/codec/IccProfileHandle.h"

#include "decode/codec/ColourProfile.h"
#include "decode/codec/LittleCmsContext.h"

#include <QtEndian>

namespace orlix {

namespace {

// An ICC profile's header, which starts with the profile's size.
constexpr qsizetype kIccHeaderSize = 128;

} // namespace

IccProfileHandle IccProfileHandle::fromIcc(const QByteArray& icc) {
    if (icc.size() < kIccHeaderSize || icc.size() > ColourProfile::kMaxBytes)
        return IccProfileHandle(nullptr);
    // A profile cut short: Little CMS would take one whose tags happen to lie in the part
    // that is there.
    if (qFromBigEndian<quint32>(icc.constData()) > quint32(icc.size()))
        return IccProfileHandle(nullptr);
    return IccProfileHandle(cmsOpenProfileFromMemTHR(littleCmsContext(), icc.constData(),
                                                     static_cast<cmsUInt32Number>(icc.size())));
}

IccProfileHandle IccProfileHandle::fromIcc(const QByteArray& icc, cmsColorSpaceSignature space) {
    IccProfileHandle profile = fromIcc(icc);
    if (profile && cmsGetColorSpace(profile.get()) != space)
        return IccProfileHandle(nullptr);
    return profile;
}

IccProfileHandle IccProfileHandle::srgb() {
    return IccProfileHandle(cmsCreate_sRGBProfileTHR(littleCmsContext()));
}

IccProfileHandle::~IccProfileHandle() {
    if (handle_)
        cmsCloseProfile(handle_);
}

IccProfileHandle::IccProfileHandle(IccProfileHandle&& other) noexcept : handle_(other.handle_) {
    other.handle_ = nullptr;
}

} // namespace orlix
