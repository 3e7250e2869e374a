// Test helpers that run the built filter (and other programs) as child
// processes with bounded time, and take its output apart page by page.
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/img/img_oracle.h"
#include "tests/raster_writer.h"

struct process_setup {
    std::vector<std::string> argv;   // argv[0] is the program's path
    std::string stdin_path = "/dev/null";
    int stdin_fd = -1;               // used instead of stdin_path when >= 0
    std::string stdout_path = "";    // "" = captured into process_result::out
    int stdout_fd = -1;              // used instead of stdout_path when >= 0
    unsigned long address_space = 0; // RLIMIT_AS in bytes; 0 = unchanged
};

struct process_result {
    int exit_code = -1;       // -1 when ended by a signal
    int term_signal = 0;      // the signal that ended it, or 0
    bool timed_out = false;   // killed after the time limit
    std::string out, err;
};

struct process {
    pid_t pid = -1;
    std::string out_path, err_path;
};

// Starts the program without "PPD" in its environment, SIGTERM and SIGPIPE
// at their defaults and no signal blocked.
process start_process(const process_setup &setup);

// Waits at most `seconds` (then kills it) and collects its output.
process_result wait_process(process &proc, double seconds = 10);

process_result run_process(const process_setup &setup, double seconds = 10);

// The filter's command line: job-id user title copies options [file].
std::vector<std::string> filter_argv(const std::string &file = "");

// A fresh, empty temporary file's path; removed at exit of the test process.
std::string temp_path();

// What the filter writes for one page, built from the reference encoder:
// preamble, header (bytes per line * 8, height), scan lines of `rows`
// (height packed rows, as the filter holds them) and `label`.
std::string expected_page(const test_page &page, const bytes &rows, const std::string &label);

// Equal byte strings, or where they first differ.
::testing::AssertionResult same_bytes(const std::string &actual, const std::string &expected);

// The label job block without a PPD, for the page's height in mm ("50.09")
// and copy count.
std::string plain_label(const std::string &height_mm, unsigned copies);

// One page of filter output taken apart.
struct output_page {
    std::string img;   // header and scan lines
    img_image image;   // the same decoded
    std::string label; // "m m\r\n" to the A line's CR LF
};

// Splits the filter's whole standard output into pages; returns "" or what
// does not fit the page layout.
std::string split_output(const std::string &out, std::vector<output_page> &pages);
