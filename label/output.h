// One page as the label printers take it, the same from the CUPS filter and
// from the Printer Application: the label's dots as an IMG image download,
// then the label job block that prints them on the label.
#pragma once

#include <cstdio>
#include <functional>

#include "img/img.h"
#include "settings/lines.h"
#include "settings/options.h"

// Writes one page to the printer: the image download (erase the last image,
// download "cups", its IMG header and scan lines, the end of data), then the
// label job block for `label` and `job`, unless `send_block` is given and
// says no (a page whose job was cancelled while it was made: its image is
// closed, and nothing prints it). Returns whether the block was written.
bool write_label_page(FILE *out, const img_bitmap &bitmap, const label_format &label, const job_settings &job,
                      const std::function<bool()> &send_block = {});
