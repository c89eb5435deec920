#include <gtest/gtest.h>

#include "base/bytes.h"
#include "palette/bmp.h"
#include "support/testutil.h"

// A 3 x 2 picture: rows of 9 bytes padded to 12, stored bottom-up in blue-green-red order.
TEST(Bmp, LayoutOfAWrittenPicture)
{
    const uint8_t rgb[] = {
        1, 2, 3, 4, 5, 6, 7, 8, 9,            // top row
        10, 11, 12, 13, 14, 15, 16, 17, 18,   // bottom row
    };
    EXPECT_EQ((std::vector<uint32_t>{BmpRowBytes(1), BmpRowBytes(3), BmpRowBytes(4)}), (std::vector<uint32_t>{4, 12, 12}));
    ASSERT_EQ(BmpFileSize(3, 2), 54u + 24u);

    TempDir dir;
    std::string path = dir.file("pic.bmp");
    ASSERT_EQ(BmpWrite(path.c_str(), rgb, 3, 2), 0);
    Bytes f = ReadBytes(path);
    ASSERT_EQ(f.size(), 78u);
    Bytes header = {'B', 'M'};
    AppendU32(header, 78);
    AppendU32(header, 0);   // two zero 16-bit words
    for (uint32_t v : {54, 40, 3, 2}) AppendU32(header, v);
    AppendU16(header, 1);
    AppendU16(header, 24);
    for (uint32_t v : {0, 24, 0, 0, 0, 0}) AppendU32(header, v);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 54), header);
    // The file's first row is the picture's last.
    EXPECT_EQ(Bytes(f.begin() + 54, f.end()),
              (Bytes{12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}));

    int w = 0, h = 0;
    ASSERT_EQ(BmpCheckLength(f.data(), f.size(), &w, &h), 1);
    EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{3, 2}));
    uint8_t back[18];
    ASSERT_EQ(BmpDecode(f.data(), f.size(), back, sizeof back), 1);
    EXPECT_EQ(0, memcmp(back, rgb, sizeof rgb));
}

TEST(Bmp, CheckRefusesOtherPictures)
{
    uint8_t image[54 + 4];
    const uint8_t pixel[3] = {9, 9, 9};
    BmpEncode(pixel, 1, 1, image);
    int w, h;
    EXPECT_EQ(BmpCheck(image, &w, &h), 1);
    EXPECT_EQ(BmpCheckLength(image, sizeof image, &w, &h), 1);

    // Too short for its header, or for the rows it announces.
    EXPECT_EQ(BmpCheckLength(image, 53, &w, &h), 0);
    EXPECT_EQ(BmpCheckLength(image, 57, &w, &h), 0);

    uint8_t other[sizeof image];
    memcpy(other, image, sizeof image);
    PutU16(other, 28, 32);                       // 32 bits a pixel
    EXPECT_EQ(BmpCheck(other, &w, &h), 0);
    memcpy(other, image, sizeof image);
    PutU32(other, 30, 1);                        // compressed
    EXPECT_EQ(BmpCheck(other, &w, &h), 0);
    memcpy(other, image, sizeof image);
    other[1] = 'A';
    EXPECT_EQ(BmpCheck(other, &w, &h), 0);
    uint8_t small[3];
    EXPECT_EQ(BmpDecode(image, sizeof image, small, 2), 0);   // the caller's buffer is too small
}
