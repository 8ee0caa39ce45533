#pragma once

#include <QByteArray>

#include <lcms2.h>

namespace orlix {

// An ICC profile opened by Little CMS in the program's context (LittleCmsContext.h), closed
// with this object. Null when there is no profile or it cannot be used.
class IccProfileHandle {
public:
    // `icc` opened, or null when it is too short, too long (over ColourProfile::kMaxBytes), cut
    // short of the size its header gives, or not a profile Little CMS reads.
    static IccProfileHandle fromIcc(const QByteArray& icc);
    // The same, and null unless it describes colours of `space`.
    static IccProfileHandle fromIcc(const QByteArray& icc, cmsColorSpaceSignature space);
    // Little CMS's own sRGB.
    static IccProfileHandle srgb();

    ~IccProfileHandle();
    IccProfileHandle(IccProfileHandle&& other) noexcept;
    IccProfileHandle& operator=(IccProfileHandle&&) = delete;
    IccProfileHandle(const IccProfileHandle&) = delete;
    IccProfileHandle& operator=(const IccProfileHandle&) = delete;

    cmsHPROFILE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    explicit IccProfileHandle(cmsHPROFILE handle) : handle_(handle) {}

    cmsHPROFILE handle_;
};

} // namespace orlix
