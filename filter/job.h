// The filter's per-page steps around the job loop: cancellation, refusing
// pages the printer can't take, and the label job block.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include <cups/raster.h>

#include "settings/options.h"

// Set by cancelJob when the scheduler cancels the job (SIGTERM).
extern volatile sig_atomic_t cancelled;

// SIGTERM handler: notes the cancel; the page being read is still finished.
void cancelJob(int sig);

// Lets SIGTERM cancel the job while this page is read and written.
void startPage(const cups_page_header_t *header);

// Starts the image download of a page: erases the last image, names the new
// one and writes its IMG header; the scan lines follow.
void write_download_start(FILE *out, uint32_t linewidth, uint32_t lines);

// Writes the end of the image download and the label job block for the page,
// then ignores SIGTERM until the next page starts.
void printpage(const cups_page_header_t *header, const job_settings &job, FILE *out = stdout);

// Why the filter can't print a page with this header, or "" when it can:
// the bitmap is 1 bit per pixel, at most 32767 pixels each way, and its rows
// are exactly (width + 7) / 8 bytes.
std::string page_refusal(const cups_page_header_t &header);
