#include "capture/ImageFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <QImage>
#include <QImageWriter>
#include <QString>

namespace capture
{
namespace
{

std::uint16_t To16(float v) { return static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f)); }

std::uint8_t ToSrgb8(float v)
{
    const float c = std::clamp(v, 0.0f, 1.0f);
    const float s = c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
    return static_cast<std::uint8_t>(std::lround(s * 255.0f));
}

bool Save(const QImage &image, const std::string &path, const char *format, int quality, std::string &error)
{
    if (image.isNull()) {
        error = "not enough memory for " + path;
        return false;
    }
    QImageWriter w(QString::fromStdString(path), format);
    if (quality >= 0) w.setQuality(quality);
    if (!w.write(image)) {
        error = "cannot write " + path + ": " + w.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

std::optional<ImageFormat> ParseImageFormat(std::string_view name)
{
    if (name == "png16") return ImageFormat::Png16;
    if (name == "png8") return ImageFormat::Png8;
    if (name == "jpg") return ImageFormat::Jpeg;
    return std::nullopt;
}

const char *ImageFormatName(ImageFormat f)
{
    switch (f) {
    case ImageFormat::Png16:
        return "png16";
    case ImageFormat::Png8:
        return "png8";
    case ImageFormat::Jpeg:
        break;
    }
    return "jpg";
}

const char *ImageExtension(ImageFormat f) { return f == ImageFormat::Jpeg ? ".jpg" : ".png"; }

QImage SrgbImage(int width, int height, const float *rgb)
{
    QImage img(width, height, QImage::Format_RGB888);
    if (img.isNull()) return img;
    for (int y = 0; y < height; ++y) {
        std::uint8_t *line = img.scanLine(y);
        const float *src = rgb + 3 * std::size_t(y) * std::size_t(width);
        for (int x = 0; x < 3 * width; ++x)
            line[x] = ToSrgb8(src[x]);
    }
    return img;
}

bool WritePhoto(const std::string &path, int width, int height, float *rgb, ImageFormat f, std::string &error)
{
    // Packed front to back into the floats' own memory: a pixel's file
    // bytes (8 or 3) never reach past its own floats (12), which are read
    // before they are written over.
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    auto *bytes = reinterpret_cast<uchar *>(rgb);
    if (f == ImageFormat::Png16) {
        auto *out = reinterpret_cast<std::uint16_t *>(bytes);
        for (std::size_t i = 0; i < pixels; ++i) {
            const float r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            out[4 * i] = To16(r);
            out[4 * i + 1] = To16(g);
            out[4 * i + 2] = To16(b);
            out[4 * i + 3] = 0xFFFF;
        }
        const QImage img(bytes, width, height, qsizetype(8) * width, QImage::Format_RGBX64);
        return Save(img, path, "png", -1, error);
    }
    for (std::size_t i = 0; i < 3 * pixels; ++i)
        bytes[i] = ToSrgb8(rgb[i]);
    const QImage img(bytes, width, height, qsizetype(3) * width, QImage::Format_RGB888);
    return f == ImageFormat::Jpeg ? Save(img, path, "jpeg", 95, error) : Save(img, path, "png", -1, error);
}

bool WriteNormalMap(const std::string &path, int width, int height, const float *normal, std::string &error)
{
    QImage img(width, height, QImage::Format_RGBX64);
    if (img.isNull()) return Save(img, path, "png", -1, error);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<std::uint16_t *>(img.scanLine(y));
        const float *src = normal + 3 * std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            for (int k = 0; k < 3; ++k)
                line[4 * x + k] = To16(0.5f * (src[3 * x + k] + 1.0f));
            line[4 * x + 3] = 0xFFFF;
        }
    }
    return Save(img, path, "png", -1, error);
}

bool WriteMask(const std::string &path, int width, int height, const float *object, std::string &error)
{
    QImage img(width, height, QImage::Format_Grayscale8);
    if (img.isNull()) return Save(img, path, "png", -1, error);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *line = img.scanLine(y);
        for (int x = 0; x < width; ++x)
            line[x] = object[std::size_t(y) * std::size_t(width) + std::size_t(x)] >= 0.5f ? 255 : 0;
    }
    return Save(img, path, "png", -1, error);
}

bool WriteDepthMap(const std::string &path, int width, int height, const float *depth, double unitsPerMm,
                   std::string &error)
{
    QImage img(width, height, QImage::Format_Grayscale16);
    if (img.isNull()) return Save(img, path, "png", -1, error);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<std::uint16_t *>(img.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double d = depth[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            line[x] = d > 0 ? static_cast<std::uint16_t>(std::clamp(std::lround(d * unitsPerMm), 1L, 65535L)) : 0;
        }
    }
    return Save(img, path, "png", -1, error);
}

} // namespace capture
