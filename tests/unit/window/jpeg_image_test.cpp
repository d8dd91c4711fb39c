#include "window/jpeg_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace qvk {
namespace {

std::string ReadResource(const std::string& name) {
    std::ifstream in(std::string(QVK_SOURCE_DIR) + "/res/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The frame marker tells baseline (FF C0) from progressive (FF C2) coding.
bool HasMarker(const std::string& jpeg, unsigned char marker) {
    return jpeg.find(std::string{'\xFF', static_cast<char>(marker)}) != std::string::npos;
}

// Share of the pixels that have the single most common colour, in 1/1000.
int MostCommonColourShare(const RgbImage& image) {
    std::map<uint32_t, int> counts;
    for (std::size_t i = 0; i + 2 < image.pixels.size(); i += 3)
        ++counts[image.pixels[i] << 16 | image.pixels[i + 1] << 8 | image.pixels[i + 2]];
    int most = 0;
    for (const auto& entry : counts) most = std::max(most, entry.second);
    return static_cast<int>(1000LL * most / (image.width * image.height));
}

struct Banner {
    const char* file;
    int width, height;
    unsigned char frameMarker;  // progressive (C2) side banner, baseline (C0) header banner
};

TEST(JpegDecoding, BannersDecodeToTheirSizeInColour) {
    for (const Banner& banner : {Banner{"side_banner.jpg", 164, 314, 0xC2},
                                 Banner{"header_banner.jpg", 495, 57, 0xC0}}) {
        const std::string jpeg = ReadResource(banner.file);
        ASSERT_FALSE(jpeg.empty()) << banner.file;
        EXPECT_TRUE(HasMarker(jpeg, banner.frameMarker)) << banner.file;

        RgbImage image;
        std::string error;
        ASSERT_TRUE(DecodeJpeg(jpeg, image, &error)) << banner.file << ": " << error;
        EXPECT_EQ(image.width, banner.width);
        EXPECT_EQ(image.height, banner.height);
        EXPECT_EQ(image.sourceComponents, 3);
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(banner.width) * banner.height * 3);
        // A picture, not a plain background.
        EXPECT_LT(MostCommonColourShare(image), 200) << banner.file;
    }
}

TEST(JpegDecoding, ChannelsComeOutAsRedGreenBlue) {
    // The side banner runs from night blue at the top to teal at the bottom.
    RgbImage image;
    ASSERT_TRUE(DecodeJpeg(ReadResource("side_banner.jpg"), image));
    const uint8_t* top = image.Row(2) + 150 * 3;
    const uint8_t* bottom = image.Row(250) + 150 * 3;
    EXPECT_GT(top[2], top[0] + 30);        // blue over red
    EXPECT_GT(bottom[1], bottom[0] + 60);  // green over red
    EXPECT_GT(bottom[1], top[1] + 40);
}

TEST(JpegDecoding, CutPicturesFailCleanly) {
    for (const char* file : {"side_banner.jpg", "header_banner.jpg"}) {
        const std::string jpeg = ReadResource(file);
        ASSERT_GT(jpeg.size(), 100u);
        for (std::size_t cut : {std::size_t{2}, std::size_t{100}, jpeg.size() / 2,
                                jpeg.size() * 9 / 10, jpeg.size() - 2}) {
            RgbImage image;
            std::string error;
            EXPECT_FALSE(DecodeJpeg(jpeg.substr(0, cut), image, &error)) << file << " " << cut;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(image.pixels.empty());
            EXPECT_EQ(image.width, 0);
        }
    }
}

TEST(JpegDecoding, DamagedScanDataFails) {
    // An end marker in the middle of the picture data: libjpeg alone would pad the rest grey.
    std::string jpeg = ReadResource("header_banner.jpg");
    const auto scan = jpeg.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    const std::size_t middle = scan + (jpeg.size() - scan) / 2;
    jpeg[middle] = '\xFF';
    jpeg[middle + 1] = '\xD9';
    RgbImage image;
    EXPECT_FALSE(DecodeJpeg(jpeg, image));
    EXPECT_TRUE(image.pixels.empty());
}

TEST(JpegDecoding, NonJpegDataFails) {
    std::string garbage(4096, '\0');
    uint32_t seed = 12345;
    for (char& c : garbage) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    RgbImage image;
    std::string error;
    EXPECT_FALSE(DecodeJpeg(garbage, image, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(DecodeJpeg(std::string("\xFF\xD8\xFF") + garbage, image));
    EXPECT_FALSE(DecodeJpeg(std::string("\xFF\xD8\xFF\xD9"), image));
    EXPECT_FALSE(DecodeJpeg(std::string(), image));
    EXPECT_FALSE(DecodeJpeg(nullptr, 10, image));
    // The decoder is usable again after any of these.
    EXPECT_TRUE(DecodeJpeg(ReadResource("header_banner.jpg"), image));
    EXPECT_EQ(image.width, 495);
}

}  // namespace
}  // namespace qvk
