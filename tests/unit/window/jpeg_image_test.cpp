#include "window/jpeg_image.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qvk {
namespace {

std::string Banner(const char* name) { return test::ReadWholeFile(std::string(QVK_SOURCE_DIR) + "/res/" + name).value_or(""); }

// The progressive side banner runs from night blue at the top to teal at the bottom; the header
// banner is baseline coded.
TEST(JpegDecoding, BannersDecodeToTheirSizeInRedGreenBlue) {
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeJpeg(Banner("header_banner.jpg"), image, &error)) << error;
    EXPECT_EQ(image.width * 1000 + image.height, 495057);
    ASSERT_TRUE(DecodeJpeg(Banner("side_banner.jpg"), image, &error)) << error;
    EXPECT_EQ(image.width * 1000 + image.height, 164314);
    ASSERT_EQ(image.pixels.size(), 164u * 314 * 3);
    const uint8_t *top = image.Row(2) + 150 * 3, *bottom = image.Row(250) + 150 * 3;
    EXPECT_GT(top[2], top[0] + 30);        // blue over red
    EXPECT_GT(bottom[1], bottom[0] + 60);  // green over red
    EXPECT_GT(bottom[1], top[1] + 40);
}

TEST(JpegDecoding, CutDamagedAndForeignDataFailCleanly) {
    std::vector<std::string> bad = {"", "\xFF\xD8\xFF\xD9", test::Noise(4096, 7)};
    for (const char* file : {"side_banner.jpg", "header_banner.jpg"}) {
        const std::string jpeg = Banner(file);
        for (std::size_t cut : {std::size_t{2}, std::size_t{100}, jpeg.size() / 2, jpeg.size() - 2}) bad.push_back(jpeg.substr(0, cut));
        // An end marker in the middle of the picture data: libjpeg alone would pad the rest grey.
        bad.push_back(jpeg);
        bad.back().replace(jpeg.find("\xFF\xDA") + (jpeg.size() - jpeg.find("\xFF\xDA")) / 2, 2, "\xFF\xD9");
    }
    for (const std::string& data : bad) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(DecodeJpeg(data, image, &error)) << data.size();
        EXPECT_TRUE(image.pixels.empty() && image.width == 0 && !error.empty()) << data.size();
    }
    RgbImage image;
    EXPECT_FALSE(DecodeJpeg(nullptr, 10, image));
    EXPECT_TRUE(DecodeJpeg(Banner("header_banner.jpg"), image));  // usable again after all of these
}

}  // namespace
}  // namespace qvk
