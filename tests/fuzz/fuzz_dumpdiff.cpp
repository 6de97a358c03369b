// Fuzz target: any bytes as a dump file, through loading, the scan and the report (written to a
// memory stream), checking what must hold for every input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <vector>

#include "../reference_report.h"

#include "diff_report.h"
#include "diff_scan.h"
#include "dump_state.h"

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "broken invariant: %s (line %d)\n", #cond, __LINE__);             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace {

struct Input {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t served; // bytes handed to the loader
};

ssize_t read_input(void *cookie, char *buf, std::size_t len) {
    auto *in = static_cast<Input *>(cookie);
    std::size_t n = in->size - in->served;
    n = n < len ? n : len;
    for (std::size_t i = 0; i < n; i++)
        buf[i] = static_cast<char>(in->data[in->served + i]);
    in->served += n;
    return static_cast<ssize_t>(n);
}

// Do all loaded dumps agree at offset o?
bool all_agree(int o) {
    for (int d = 1; d < loaded_dumps; d++) {
        if (input_files_data[d][o] != input_files_data[0][o])
            return false;
    }
    return true;
}

// The lists are ascending, unique, in their regions, and hold exactly the offsets where the
// dumps do not all agree.
void check_lists() {
    CHECK(code_diffs_num >= 0 && code_diffs_num <= DATA_START);
    CHECK(data_diffs_num >= 0 && data_diffs_num <= DUMP_SIZE - DATA_START);
    CHECK(diffs_num == code_diffs_num + data_diffs_num);
    int c = 0;
    int d = 0;
    for (int o = 0; o < DUMP_SIZE; o++) {
        const bool listed = o < DATA_START ? (c < code_diffs_num && diffs_code[c] == o)
                                           : (d < data_diffs_num && diffs_data[d] == o);
        CHECK(listed == !all_agree(o));
        if (listed)
            (o < DATA_START ? c : d)++;
    }
    // Every entry was met in order above, so none is out of its region, repeated or unsorted.
    CHECK(c == code_diffs_num && d == data_diffs_num);
}

// The report as a plain formatted rendering of the scan's lists makes it.
std::string expected_report() {
    return reference_report(&input_files_data[0][0], loaded_dumps,
                            std::vector<int>(diffs_code, diffs_code + code_diffs_num),
                            std::vector<int>(diffs_data, diffs_data + data_diffs_num));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Input input{data, size, 0};
    cookie_io_functions_t io{};
    io.read = read_input;
    std::FILE *in = fopencookie(&input, "rb", io);
    CHECK(in != nullptr);
    std::setvbuf(in, nullptr, _IONBF, 0);
    CHECK(load_dumps(in) == 0);
    std::fclose(in);

    const std::size_t whole = size / DUMP_SIZE;
    CHECK(loaded_dumps == static_cast<std::int32_t>(whole < MAX_DUMPS ? whole : MAX_DUMPS));
    const std::size_t limit = static_cast<std::size_t>(MAX_DUMPS) * DUMP_SIZE;
    CHECK(input.served == (size < limit ? size : limit)); // nothing past dump 100 is read
    if (loaded_dumps < MIN_DUMPS)
        return 0;

    scan_diffs();
    check_lists();

    char *text = nullptr;
    std::size_t len = 0;
    fo = open_memstream(&text, &len);
    CHECK(fo != nullptr);
    render_report();
    CHECK(std::fclose(fo) == 0);
    fo = nullptr;
    CHECK(std::string(text, len) == expected_report());
    std::free(text); // NOLINT(cppcoreguidelines-no-malloc): open_memstream's buffer
    return 0;
}
