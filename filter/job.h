// The filter's per-page steps around the job loop: cancellation, refusing
// pages the printer can't take, and the label job block.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>

#include <cups/raster.h>

#include "img/img.h"
#include "settings/options.h"

// Set by cancelJob when the scheduler cancels the job (SIGTERM).
extern volatile sig_atomic_t cancelled;

// SIGTERM handler: notes the cancel; the page being read is still finished.
void cancelJob(int sig);

// Lets SIGTERM cancel the job while this page is read and written.
void startPage(const cups_page_header_t *header);

// Writes the page (its bitmap's image download and the label job block for
// the header's page size and copies) to standard output, then ignores
// SIGTERM until the next page starts.
void printpage(const cups_page_header_t *header, const img_bitmap &bitmap, const job_settings &job);

// Why the filter can't print a page with this header, or "" when it can:
// the bitmap is 1 bit per pixel, at most 32767 pixels each way, and its rows
// are exactly (width + 7) / 8 bytes.
std::string page_refusal(const cups_page_header_t &header);
