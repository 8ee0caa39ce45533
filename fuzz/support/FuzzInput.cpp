#include "support/FuzzInput.h"

namespace orlix::fuzz {

FuzzInput::FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

std::uint8_t FuzzInput::byte() {
    if (taken_ >= size_) {
        ++taken_;
        return 0;
    }
    return data_[taken_++];
}

std::uint16_t FuzzInput::word() {
    const std::uint8_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
}

QByteArray FuzzInput::rest() const {
    if (taken_ >= size_)
        return {};
    return QByteArray(reinterpret_cast<const char*>(data_ + taken_),
                      static_cast<qsizetype>(size_ - taken_));
}

} // namespace orlix::fuzz
