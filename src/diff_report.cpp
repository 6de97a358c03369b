#include "diff_report.h"

#include <array>
#include <cstring>

#include "dump_state.h"

std::FILE *fo;

namespace {

// "HH bbbbbbbb\n" for each byte value: two uppercase hex digits, a space, the eight bits most
// significant first, and the line end that closes a row.
constexpr int HEXBIN_LEN = 12;
using HexBin = std::array<char, HEXBIN_LEN>;

constexpr char hex_digits[] = "0123456789ABCDEF";

constexpr std::array<HexBin, 256> hexbin = [] {
    std::array<HexBin, 256> t{};
    for (unsigned b = 0; b < 256; b++) {
        t[b][0] = hex_digits[b >> 4];
        t[b][1] = hex_digits[b & 0xF];
        t[b][2] = ' ';
        for (unsigned k = 0; k < 8; k++)
            t[b][3 + k] = (b & (0x80U >> k)) != 0 ? '1' : '0';
        t[b][11] = '\n';
    }
    return t;
}();

// " NN  " for each dump number 1 to MAX_DUMPS: a space, the number zero-filled to at least two
// digits, two spaces. A row copies all 8 bytes of `text` at once and keeps the first `len`.
struct RowLead {
    char text[8];
    int len;
};

constexpr std::array<RowLead, MAX_DUMPS + 1> row_lead = [] {
    std::array<RowLead, MAX_DUMPS + 1> t{};
    for (int j = 1; j <= MAX_DUMPS; j++) {
        RowLead &r = t[static_cast<std::size_t>(j)];
        int n = 0;
        r.text[n++] = ' ';
        if (j >= 100)
            r.text[n++] = static_cast<char>('0' + j / 100);
        r.text[n++] = static_cast<char>('0' + j / 10 % 10);
        r.text[n++] = static_cast<char>('0' + j % 10);
        r.text[n++] = ' ';
        r.text[n++] = ' ';
        r.len = n;
    }
    return t;
}();

constexpr char column_heading[] = "DUMP HEX BINARY \n";
constexpr int COLUMN_HEADING_LEN = sizeof column_heading - 1;

// The largest block: offset line, column heading, one row per dump, the empty line.
constexpr int BLOCK_MAX = 5 + COLUMN_HEADING_LEN + MAX_DUMPS * (8 + HEXBIN_LEN) + 1;

char out_buf[64 * 1024]; // report text waiting to be written to fo
std::size_t out_len;     // bytes used in out_buf

// Hands the waiting report text to fo, unless a write to fo has already failed: text after a
// failed block would splice the file, which must hold no more than a prefix of the report.
void drain() {
    if (std::ferror(fo) == 0)
        std::fwrite(out_buf, 1, out_len, fo);
    out_len = 0;
}

// Appends one block (offset o, one row per loaded dump) to out_buf, which must have room for
// BLOCK_MAX more bytes.
void put_block(int o) {
    char *p = out_buf + out_len;
    *p++ = hex_digits[(o >> 8) & 0xF];
    *p++ = hex_digits[(o >> 4) & 0xF];
    *p++ = hex_digits[o & 0xF];
    *p++ = ':';
    *p++ = '\n';
    std::memcpy(p, column_heading, COLUMN_HEADING_LEN);
    p += COLUMN_HEADING_LEN;
    for (int j = 1; j <= loaded_dumps; j++) {
        const RowLead &lead = row_lead[static_cast<std::size_t>(j)];
        std::memcpy(p, lead.text, sizeof lead.text);
        p += lead.len;
        std::memcpy(p, hexbin[input_files_data[j - 1][o]].data(), HEXBIN_LEN);
        p += HEXBIN_LEN;
    }
    *p++ = '\n';
    out_len = static_cast<std::size_t>(p - out_buf);
}

// Appends a count line, such as "CODE Diffs: 3\n\n", to out_buf, draining it first if full.
void put_count(const char *format, std::int32_t n) {
    if (out_len + 64 > sizeof out_buf)
        drain();
    const int len = std::snprintf(out_buf + out_len, 64, format, n);
    if (len > 0)
        out_len += static_cast<std::size_t>(len);
}

} // namespace

void render_diffs(const std::int32_t *list, std::int32_t count) {
    for (std::int32_t i = 0; i < count; i++) {
        if (out_len + BLOCK_MAX > sizeof out_buf)
            drain();
        put_block(list[i]);
    }
    drain();
}

void render_report() {
    put_count("CODE Diffs: %d\n\n", code_diffs_num);
    render_diffs(diffs_code, code_diffs_num);
    put_count("DATA Diffs: %d\n\n", data_diffs_num);
    render_diffs(diffs_data, data_diffs_num);
    put_count("TOTAL Diffs: %d\n", diffs_num);
    drain();
}

int write_report() {
    fo = std::fopen(REPORT_NAME, "w");
    if (fo == nullptr)
        return -1;
    // out_buf already gathers the text in large blocks; a second buffer would only copy it again.
    std::setvbuf(fo, nullptr, _IONBF, 0);
    render_report();
    const int status = fshut(fo);
    fo = nullptr;
    return status;
}

int fshut(std::FILE *f) {
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
