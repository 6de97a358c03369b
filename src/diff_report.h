// The difference report: every differing offset with each dump's byte in hex and binary.
#ifndef DUMPDIFF_DIFF_REPORT_H
#define DUMPDIFF_DIFF_REPORT_H

#include <cstdint>
#include <cstdio>

#define REPORT_NAME "diff.txt" // the report file, in the current working directory

extern std::FILE *fo; // the report stream; open only while the report is written

// Writes to fo one block per offset of list[0 .. count-1]: the offset, a column heading, one row
// per loaded dump with its byte there, and an empty line. Once a write to fo has failed, nothing
// more is written to it; the failure stays in fo's error flag.
void render_diffs(const std::int32_t *list, std::int32_t count);

// Writes the whole report to fo: the CODE heading and blocks, the DATA heading and blocks, and
// the total. After a failed write fo holds a prefix of the report, and its error flag is set.
void render_report();

// Creates REPORT_NAME (emptying an earlier one), writes the report into it and closes it.
// Returns 0 when every byte reached the file, -1 when it could not be created, a write failed or
// the close failed; a partly written file is left holding a prefix of the report.
int write_report();

// Flushes, checks and closes f. Returns 0 when no write to f ever failed, else -1. f is closed
// either way.
int fshut(std::FILE *f);

#endif
