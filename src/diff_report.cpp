#include "diff_report.h"

#include "dump_state.h"

std::FILE *fo;

// Writes the row of dump number `dump` (1-based) at offset o: its byte in hex and in binary,
// most significant bit first.
static void render_row(int dump, int o) {
    const unsigned b = input_files_data[dump - 1][o];
    char bits[9] = "        ";
    for (unsigned k = 0; k < 8; k++)
        bits[k] = (b & (0x80u >> k)) != 0 ? '1' : '0';
    std::fprintf(fo, " %02d  %02X %s\n", dump, b, bits);
}

void render_diffs(const std::int32_t *list, std::int32_t count) {
    for (std::int32_t i = 0; i < count; i++) {
        std::fprintf(fo, "%03X:\n", static_cast<unsigned>(list[i]));
        std::fputs("DUMP HEX BINARY \n", fo);
        for (int dump = 1; dump <= loaded_dumps; dump++)
            render_row(dump, list[i]);
        std::fputs("\n", fo);
    }
}

void render_report() {
    std::fprintf(fo, "CODE Diffs: %d\n\n", code_diffs_num);
    render_diffs(diffs_code, code_diffs_num);
    std::fprintf(fo, "DATA Diffs: %d\n\n", data_diffs_num);
    render_diffs(diffs_data, data_diffs_num);
    std::fprintf(fo, "TOTAL Diffs: %d\n", diffs_num);
}

int write_report() {
    fo = std::fopen(REPORT_NAME, "w");
    if (fo == nullptr)
        return -1;
    render_report();
    const int status = fshut(fo);
    fo = nullptr;
    return status;
}

int fshut(std::FILE *f)
{
    // Three steps in this order, each run even when an earlier one failed, so f is always closed.
    int status = 0;
    if (std::fflush(f) != 0)
        status = -1;
    if (std::ferror(f) != 0)
        status = -1;
    if (std::fclose(f) != 0)
        status = -1;
    return status;
}
