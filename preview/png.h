// Writing a decoded page image as a PNG file.
#pragma once

#include <string>

#include "preview/decode.h"

// Writes `image` to `path` as a 1-bit greyscale PNG of the IMG line width by
// its line count: a set bit, a dot that the printer burns, is black. With
// `dpi` above 0 the PNG records that resolution (pHYs). Returns "" when the
// file was written, else what went wrong.
std::string write_png(const std::string &path, const img_image &image, unsigned dpi);
