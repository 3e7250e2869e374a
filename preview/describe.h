// The label job block in plain words.
//
// After each image download the filter writes a block of command lines:
// "m m", "J", then O (mirror, rotate, tear-off, backfeed), H (speed, heat,
// print method), S (sensor, offsets and label size in millimetres),
// "I 0,0,0;cups" (print the downloaded image), C (cutter) and P (peel-off)
// when those are on, and "A<copies>". This turns each line into words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct described_line {
    std::string line;                // the command line; for a line that the block
                                     // leaves out, a note such as "(no C line)"
    std::vector<std::string> words;  // one entry a setting
    bool left_out = false;           // a note for a line that the block leaves out
};

// Words for one page's command lines, in stream order (lines without their
// line ends). A block without a C or P line gets an entry saying that the
// cutter or peel-off is off, just before its A line. Lines that are not
// known are kept and say so.
std::vector<described_line> describe_lines(const std::vector<std::string> &lines);

// The printer resolution that the image's line count and the S line's label
// height suggest: 200, 300 or 600 when one of them is within 3 %, else 0.
unsigned guess_resolution(const std::vector<std::string> &lines, unsigned image_lines);
