// The filter's whole run, as CUPS starts it.
#pragma once

// Pages written so far in this run.
extern int page;

// Runs the filter: `zaridiravid job-id user title copies options [file]`.
// Returns the exit status: 0 when at least one page was printed.
int filter_main(int argc, char *argv[]);
