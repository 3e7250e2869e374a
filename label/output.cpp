// One page as the label printers take it.
#include "label/output.h"

#include <cstdint>

bool write_label_page(FILE *out, const img_bitmap &bitmap, const label_format &label, const job_settings &job,
                      const std::function<bool()> &send_block)
{
    std::fputs("e img;*\r", out);    // erase the previous image
    std::fputs("d IMG;cups\r", out);  // download an IMG image named cups
    std::fputs("\x1b:", out);
    // The image's rows are whole bytes wide.
    write_IMG_Header(out, uint32_t((bitmap.width + 7) / 8) * 8, uint32_t(bitmap.height));
    write_img(bitmap, out);
    std::fputs("\x1b" "end-of-data", out);  // no line end: the block's first line follows at once
    if (send_block && !send_block())
        return false;
    const std::string block = label_block(label, job);
    std::fwrite(block.data(), 1, block.size(), out);
    return true;
}
