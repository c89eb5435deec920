#include "palette/png.h"

#include <png.h>

#include "base/files.h"

static void AppendToVector(png_structp png, png_bytep data, png_size_t length)
{
    std::vector<uint8_t>* out = (std::vector<uint8_t>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + length);
}

static void NoFlush(png_structp) {}

static bool Encode(const uint8_t* pixels, int width, int height, int channels, std::vector<uint8_t>& out)
{
    out.clear();
    if (width <= 0 || height <= 0) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return false;
    }
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) png_write_row(png, (png_const_bytep)(pixels + (size_t)y * width * channels));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool PngEncode(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& out)
{
    return Encode(rgb, width, height, 3, out);
}

bool PngEncodeRgba(const uint8_t* rgba, int width, int height, std::vector<uint8_t>& out)
{
    return Encode(rgba, width, height, 4, out);
}

int PngWrite(const char* fileName, const uint8_t* rgb, int width, int height)
{
    std::vector<uint8_t> image;
    if (!PngEncode(rgb, width, height, image)) return 1;
    return FileWrite(fileName, image.data(), image.size());
}
