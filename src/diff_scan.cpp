#include "diff_scan.h"

#include "dump_state.h"

// Does any loaded dump hold another byte than dump 1 at offset o?
static bool differs_at(int o) {
    const std::uint8_t ref = input_files_data[0][o];
    for (int d = 1; d < loaded_dumps; d++) {
        if (input_files_data[d][o] != ref)
            return true;
    }
    return false;
}

void scan_diffs() {
    code_diffs_num = 0;
    data_diffs_num = 0;
    for (int o = 0; o < DUMP_SIZE; o++) {
        if (!differs_at(o))
            continue;
        if (o < DATA_START)
            diffs_code[code_diffs_num++] = o;
        else
            diffs_data[data_diffs_num++] = o;
    }
    diffs_num = code_diffs_num + data_diffs_num;
}
