#include "export/bmp_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace veldrin {
namespace {

uint32_t le32(const std::string& s, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

TEST(BmpFile, DepthRule) {
    const std::pair<int, BmpDepth> rows[] = {
        {1, {1, 8}},  {2, {4, 64}},  {4, {4, 64}},  {5, {8, 1024}}, {8, {8, 1024}},
        {9, {24, 0}}, {16, {24, 0}}, {24, {24, 0}}, {25, {32, 0}},  {32, {32, 0}}};
    for (const auto& [depth, expected] : rows) {
        EXPECT_EQ(bmpDepthFor(depth).bitsPerPixel, expected.bitsPerPixel) << depth;
        EXPECT_EQ(bmpDepthFor(depth).colourTableSize, expected.colourTableSize) << depth;
    }
}

// A 3 x 2 picture held with 4 bytes of slack per line: headers as laid out, bottom row first.
TEST(BmpFile, BytesOfASmallImage) {
    const std::size_t stride = 16;
    std::vector<uint8_t> bits(stride * 2, 0xEE);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint8_t* p =
                &bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4];
            p[0] = static_cast<uint8_t>(10 * y + x); // blue
            p[1] = 0x20;
            p[2] = 0x30;
            p[3] = 0xFF;
        }
    }
    const std::string file = encodeBmp({3, 2, bits.data(), stride});
    ASSERT_EQ(file.size(), 54u + 3 * 2 * 4);
    EXPECT_EQ(file.substr(0, 2), "BM");
    const std::pair<std::size_t, uint32_t> fields[] = {
        {2, 78}, {6, 0},  {10, 54}, {14, 40}, {18, 3}, {22, 2}, {26, 1 | (32u << 16)},
        {30, 0}, {34, 0}, {38, 0},  {42, 0},  {46, 0}, {50, 0}};
    for (const auto& [at, value] : fields) {
        EXPECT_EQ(le32(file, at), value) << "offset " << at;
    }
    // Bottom row first: the row with y = 1 (blue 10, 11, 12), then y = 0.
    EXPECT_EQ(static_cast<unsigned char>(file[54]), 10);
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 8]), 12);
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 12]), 0);
    EXPECT_EQ(static_cast<unsigned char>(file[54 + 12 + 3]), 0xFF);
    EXPECT_TRUE(encodeBmp({0, 2, bits.data(), stride}).empty());
    EXPECT_TRUE(encodeBmp({5, 2, bits.data(), stride}).empty()); // lines shorter than the width
}

} // namespace
} // namespace veldrin
