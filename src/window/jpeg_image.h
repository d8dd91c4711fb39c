// Decoding of the JPEG pictures the program carries (the wizard's banners), from bytes in
// memory to plain 24-bit RGB. Portable: the window layer turns the result into a bitmap.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvk {

struct RgbImage {
    int width = 0;
    int height = 0;
    int sourceComponents = 0;  // colour components stored in the JPEG (1 grey, 3 colour)
    // Rows from top to bottom, each width * 3 bytes R, G, B, without padding.
    std::vector<uint8_t> pixels;

    std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 3; }
    const uint8_t* Row(int y) const { return pixels.data() + RowBytes() * y; }
};

// Pictures above this many pixels are refused rather than allocated.
inline constexpr long long kMaxJpegPixels = 4096LL * 4096LL;

// Decodes a whole baseline or progressive JPEG. On any fault (not a JPEG, truncated, corrupt
// data, too large) returns false with `image` emptied and `error` (when given) holding the
// decoder's message; it never ends the process.
bool DecodeJpeg(const uint8_t* data, std::size_t size, RgbImage& image,
                std::string* error = nullptr);
bool DecodeJpeg(const std::string& bytes, RgbImage& image, std::string* error = nullptr);

}  // namespace qvk
