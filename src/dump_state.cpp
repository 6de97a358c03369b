#include "dump_state.h"

#include <cerrno>

std::uint8_t input_files_data[MAX_DUMPS][DUMP_SIZE];
std::int32_t loaded_dumps;

std::int32_t diffs_code[MAX_DIFFS];
std::int32_t code_diffs_num;
std::int32_t diffs_data[MAX_DIFFS];
std::int32_t data_diffs_num;
std::int32_t diffs_num;

int load_dumps(std::FILE *in) {
    loaded_dumps = 0;
    while (loaded_dumps < MAX_DUMPS) {
        errno = 0;
        std::size_t got = std::fread(input_files_data[loaded_dumps], 1, DUMP_SIZE, in);
        if (got < DUMP_SIZE) {
            if (std::ferror(in) != 0)
                return errno != 0 ? errno : EIO;
            break;
        }
        loaded_dumps++;
    }
    return 0;
}
