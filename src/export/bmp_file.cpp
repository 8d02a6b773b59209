#include "export/bmp_file.h"

#include <cstring>
#include <limits>

namespace veldrin {
namespace {

constexpr int kSourceDepth = 32;
constexpr uint32_t kInfoHeaderSize = 40;

void put16(std::string& out, std::size_t at, uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void put32(std::string& out, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

BmpDepth bmpDepthFor(int depth) {
    if (depth <= 1) {
        return {1, 8};
    }
    if (depth <= 4) {
        return {4, 64};
    }
    if (depth <= 8) {
        return {8, 1024};
    }
    if (depth <= 24) {
        return {24, 0};
    }
    return {32, 0};
}

std::string encodeBmp(const PixelRows& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.bits == nullptr) {
        return {};
    }
    const BmpDepth depth = bmpDepthFor(kSourceDepth);
    const auto width = static_cast<uint64_t>(pixels.width);
    const auto height = static_cast<uint64_t>(pixels.height);
    const uint64_t rowLength = ((width * static_cast<uint64_t>(depth.bitsPerPixel) + 31) / 32) * 4;
    const uint64_t imageSize = rowLength * height;
    const uint64_t fileSize = kBmpHeadersSize + depth.colourTableSize + imageSize;
    if (fileSize > std::numeric_limits<uint32_t>::max() || pixels.bytesPerLine < width * 4) {
        return {};
    }
    std::string out(static_cast<std::size_t>(fileSize), '\0');
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<uint32_t>(fileSize));
    put32(out, 10, static_cast<uint32_t>(kBmpHeadersSize + depth.colourTableSize));
    put32(out, 14, kInfoHeaderSize);
    put32(out, 18, static_cast<uint32_t>(pixels.width));
    put32(out, 22, static_cast<uint32_t>(pixels.height));
    put16(out, 26, 1);
    put16(out, 28, static_cast<uint16_t>(depth.bitsPerPixel));
    // Compression, image size, resolutions and colour counts stay 0.
    std::size_t at = kBmpHeadersSize + depth.colourTableSize;
    for (int y = pixels.height - 1; y >= 0; --y) {
        std::memcpy(&out[at], pixels.bits + static_cast<std::size_t>(y) * pixels.bytesPerLine,
                    static_cast<std::size_t>(rowLength));
        at += static_cast<std::size_t>(rowLength);
    }
    return out;
}

} // namespace veldrin
