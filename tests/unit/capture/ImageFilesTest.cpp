// The photographs' files read back: every pixel's value as the format
// encodes it (16-bit linear, 8-bit sRGB), for images whose pixels are packed
// into their own float buffer on the way.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QImage>

#include "capture/ImageFiles.h"
#include "support/Files.h"

namespace
{

// sRGB's transfer curve, from its definition.
double Srgb(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

TEST(ImageFilesTest, PhotoPixelsReadBackInEveryFormat)
{
    constexpr int w = 7, h = 3; // odd width: rows not a multiple of the buffer's 12 bytes a pixel
    std::vector<float> values(3 * w * h);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = float(i % 11) / 9.0f - 0.05f; // a few below 0 and above 1: clipped
    struct Case {
        capture::ImageFormat format;
        const char *name;
        double step; // one unit of the file
    };
    const Case cases[] = {{capture::ImageFormat::Png16, "p.png", 1 / 65535.0},
                          {capture::ImageFormat::Png8, "p8.png", 1 / 255.0},
                          {capture::ImageFormat::Jpeg, "p.jpg", 0}};
    testsupport::TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> rgb = values;
        std::string error;
        ASSERT_TRUE(capture::WritePhoto(dir.File(c.name), w, h, rgb.data(), c.format, error)) << error;
        const QImage img(QString::fromStdString(dir.File(c.name)));
        ASSERT_EQ(img.width(), w);
        ASSERT_EQ(img.height(), h);
        if (c.step == 0) continue; // lossy: its size is what can be checked
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgba64 px = img.pixelColor(x, y).rgba64();
                const unsigned got[3] = {px.red(), px.green(), px.blue()};
                for (int k = 0; k < 3; ++k) {
                    const double v = std::clamp(double(values[3 * (y * w + x) + k]), 0.0, 1.0);
                    const double want = c.format == capture::ImageFormat::Png16 ? v : Srgb(v);
                    EXPECT_NEAR(got[k] / 65535.0, want, c.step * 0.51) << x << "," << y << " channel " << k;
                }
            }
    }
}

} // namespace
