#include "diff_scan.h"

#include <cstring>

#include "dump_state.h"

namespace {

constexpr int WORD = 8; // bytes compared at once

// Returns the bytes of [o, o + WORD) where some loaded dump differs from dump 1: a byte of the
// result is non-zero exactly at those offsets.
std::uint64_t word_diff(int o) {
    std::uint64_t ref = 0;
    std::memcpy(&ref, &input_files_data[0][o], WORD);
    std::uint64_t diff = 0;
    for (int d = 1; d < loaded_dumps; d++) {
        std::uint64_t v = 0;
        std::memcpy(&v, &input_files_data[d][o], WORD);
        diff |= v ^ ref;
    }
    return diff;
}

// Appends offset o to the list of its region.
void record(int o) {
    if (o < DATA_START)
        diffs_code[code_diffs_num++] = o;
    else
        diffs_data[data_diffs_num++] = o;
}

} // namespace

void scan_diffs() {
    static_assert(DUMP_SIZE % WORD == 0 && DATA_START % WORD == 0);
    code_diffs_num = 0;
    data_diffs_num = 0;
    for (int o = 0; o < DUMP_SIZE; o += WORD) {
        const std::uint64_t diff = word_diff(o);
        if (diff == 0)
            continue;
        unsigned char bytes[WORD];
        std::memcpy(bytes, &diff, WORD); // memory order, whatever the machine's byte order
        for (int k = 0; k < WORD; k++) {
            if (bytes[k] != 0)
                record(o + k);
        }
    }
    diffs_num = code_diffs_num + data_diffs_num;
}
