// PNG writer on libpng. libpng reports errors by longjmp, so everything that
// owns memory lives outside the function that calls setjmp.
#include "preview/png.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

namespace {

struct png_failure {
    char message[256] = "";
};

void on_error(png_structp png, png_const_charp message)
{
    auto *failure = static_cast<png_failure *>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// The libpng part. `row` has room for one PNG row.
bool write_rows(png_structp png, png_infop info, FILE *file, const img_image &image, unsigned dpi,
                unsigned char *row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, image.header.line_width, image.header.lines, 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (dpi > 0) {
        const auto per_metre = static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
        png_set_pHYs(png, info, per_metre, per_metre, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    // In a 1-bit grey PNG a set bit is white: the IMG bits are inverted.
    for (size_t r = 0; r < image.rows.size(); r++) {
        const unsigned char *src = image.row(r);
        for (size_t i = 0; i < image.row_bytes; i++)
            row[i] = static_cast<unsigned char>(~src[i]);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

struct file_closer {
    void operator()(FILE *f) const { std::fclose(f); }
};

}  // namespace

std::string write_png(const std::string &path, const img_image &image, unsigned dpi)
{
    if (image.header.line_width == 0 || image.rows.empty())
        return "the image is empty (" + std::to_string(image.header.line_width) + " x " +
               std::to_string(image.rows.size()) + " dots); a PNG cannot hold it";
    std::unique_ptr<FILE, file_closer> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return "cannot create " + path + ": " + std::strerror(errno);

    png_failure failure;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(image.row_bytes);
    bool ok = png && info && write_rows(png, info, file.get(), image, dpi, row.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (!ok)
        return "cannot write " + path + ": " + (failure.message[0] ? failure.message : "out of memory");
    if (std::fclose(file.release()) != 0)
        return "cannot write " + path + ": " + std::strerror(errno);
    return "";
}
