#pragma once
// The chart picture as an uncompressed, bottom-up Windows bitmap file: a 14-byte file header and
// a 40-byte information header (resolution, image size and colour counts left at 0), then the
// rows from the last to the first, each padded to a multiple of four bytes. Works on plain pixel
// rows, so that it needs no image library.

#include <cstddef>
#include <cstdint>
#include <string>

namespace veldrin {

constexpr std::size_t kBmpHeadersSize = 54;

// Bits per pixel written for a source of `depth` bits, and the size of the colour table that the
// headers then count.
struct BmpDepth {
    int bitsPerPixel = 32;
    std::size_t colourTableSize = 0;
};
BmpDepth bmpDepthFor(int depth);

// 32-bit pixel rows as they lie in memory: per pixel blue, green, red and a fourth byte.
struct PixelRows {
    int width = 0;
    int height = 0;
    const uint8_t* bits = nullptr;
    std::size_t bytesPerLine = 0;
};

// The whole file; empty for an image without pixels or too large for the format's fields.
std::string encodeBmp(const PixelRows& pixels);

} // namespace veldrin
