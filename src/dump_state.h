// The process-wide state of a run: the dump set and the offset lists with their counters.
// Every array has a fixed size and lives for the whole run; nothing is allocated.
#ifndef DUMPDIFF_DUMP_STATE_H
#define DUMPDIFF_DUMP_STATE_H

#include <cstdint>
#include <cstdio>

constexpr int DUMP_SIZE = 2048;   // bytes in one dump
constexpr int MAX_DUMPS = 100;    // dumps loaded at most; the rest of the file is never read
constexpr int MIN_DUMPS = 2;      // dumps needed for a comparison
constexpr int DATA_START = 0x400; // first offset of the DATA region; below it lies CODE
constexpr int MAX_DIFFS = 2048;   // room of each offset list

extern std::uint8_t input_files_data[MAX_DUMPS][DUMP_SIZE]; // slot i holds dump i + 1
extern std::int32_t loaded_dumps;                           // slots filled, 0 to MAX_DUMPS

extern std::int32_t diffs_code[MAX_DIFFS]; // differing CODE offsets, ascending
extern std::int32_t code_diffs_num;        // entries in diffs_code
extern std::int32_t diffs_data[MAX_DIFFS]; // differing DATA offsets, ascending
extern std::int32_t data_diffs_num;        // entries in diffs_data
extern std::int32_t diffs_num;             // code_diffs_num + data_diffs_num

// Reads whole dumps from `in` into the dump set, one slot at a time, and sets loaded_dumps to the
// number of slots filled completely. Stops at end of file, at a short last dump (whose bytes do
// not count) or once MAX_DUMPS dumps are held; never asks `in` for a byte past the last dump.
// Returns 0 when loading ended normally, or the errno of a read that failed (EIO when the
// stream set none): a read error is not taken for the end of the file.
int load_dumps(std::FILE *in);

#endif
