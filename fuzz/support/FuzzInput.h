#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace orlix::fuzz {

// One fuzz input: a few leading bytes of parameters (the fit box, the scale, where to
// cancel), then the file. The parameters lead so that the file part stays a whole picture
// that the JPEG dictionary and other tools can work on. Parameters past the input's end read
// as zero, so every input is valid.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size);

    std::uint8_t byte();
    // Two bytes, little-endian.
    std::uint16_t word();

    // Everything after the parameters taken so far.
    QByteArray rest() const;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t taken_ = 0;
};

} // namespace orlix::fuzz
