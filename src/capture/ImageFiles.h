#pragma once
// The image files of a capture, with Qt's image writers: the photographs
// (16-bit linear PNG, 8-bit sRGB PNG or JPEG), the normal map, the mask and
// the depth map. Each function writes one file and says why it could not.

#include <optional>
#include <string>
#include <string_view>

#include <QImage>

namespace capture
{

enum class ImageFormat { Png16, Png8, Jpeg };

// "png16", "png8", "jpg"
std::optional<ImageFormat> ParseImageFormat(std::string_view name);
const char *ImageFormatName(ImageFormat f);
// ".png" or ".jpg"
const char *ImageExtension(ImageFormat f);

// Linear values, 3 per pixel, clipped to 0..1 and sRGB-encoded in 8 bits
// (null when there is no memory for it).
QImage SrgbImage(int width, int height, const float *rgb);
// Linear values, 3 per pixel, clipped to 0..1: 16-bit linear, or sRGB-encoded
// 8 bits. The file's pixels are packed into rgb's own memory on the way (no
// second image per file): its values are lost.
bool WritePhoto(const std::string &path, int width, int height, float *rgb, ImageFormat f, std::string &error);
// Unit normals, 3 per pixel, each component mapped from -1..1 to 0..1; 16 bits.
bool WriteNormalMap(const std::string &path, int width, int height, const float *normal, std::string &error);
// 255 where object >= 0.5, else 0; 8-bit grey.
bool WriteMask(const std::string &path, int width, int height, const float *object, std::string &error);
// The depth in mm times unitsPerMm, rounded and clipped to 1..65535; 0 where
// depth is 0 (nothing hit); 16-bit grey.
bool WriteDepthMap(const std::string &path, int width, int height, const float *depth, double unitsPerMm,
                   std::string &error);

} // namespace capture
