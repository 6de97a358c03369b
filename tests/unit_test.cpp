// Unit tests for what the command line can't reach: the scan on crafted dump sets, a read error
// in the middle of the dump file, and report writes or a close that fail.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <vector>

#include "diff_report.h"
#include "diff_scan.h"
#include "dump_state.h"
#include "reference_report.h"

namespace {

struct Change {
    int dump; // 1-based
    int offset;
    std::uint8_t byte;
};

struct ScanCase {
    const char *name;
    int dumps;
    std::vector<Change> changes; // applied to dumps that all start as the same pattern
    std::vector<std::int32_t> code;
    std::vector<std::int32_t> data;
};

// Fills every loaded dump with the same non-constant pattern, so equal bytes are not all zero.
void fill_equal(int dumps) {
    loaded_dumps = dumps;
    for (int d = 0; d < dumps; d++)
        for (int o = 0; o < DUMP_SIZE; o++)
            input_files_data[d][o] = static_cast<std::uint8_t>(o * 7 + 3);
}

std::vector<std::int32_t> range(int from, int to) {
    std::vector<std::int32_t> v;
    for (int o = from; o < to; o++)
        v.push_back(o);
    return v;
}

void PrintTo(const ScanCase &c, std::ostream *os) {
    *os << c.name;
}

class ScanTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, ListsEachDifferingOffsetOnceInItsRegion) {
    const ScanCase &c = GetParam();
    fill_equal(c.dumps);
    for (const Change &ch : c.changes)
        input_files_data[ch.dump - 1][ch.offset] = ch.byte;
    // Stale results from an earlier scan must not survive.
    code_diffs_num = data_diffs_num = diffs_num = 77;

    scan_diffs();

    EXPECT_EQ(std::vector<std::int32_t>(diffs_code, diffs_code + code_diffs_num), c.code);
    EXPECT_EQ(std::vector<std::int32_t>(diffs_data, diffs_data + data_diffs_num), c.data);
    EXPECT_EQ(diffs_num, code_diffs_num + data_diffs_num);
}

std::vector<Change> every_byte_of_dump2() {
    std::vector<Change> v;
    for (int o = 0; o < DUMP_SIZE; o++)
        v.push_back({2, o, static_cast<std::uint8_t>(o * 7 + 4)});
    return v;
}

const ScanCase scan_cases[] = {
    {"AllEqual", 5, {}, {}, {}},
    {"LastCodeOffset", 2, {{2, 0x3FF, 0}}, {0x3FF}, {}},
    {"FirstDataOffset", 2, {{2, 0x400, 0}}, {}, {0x400}},
    {"FirstAndLastOffset", 2, {{2, 0, 0}, {2, 0x7FF, 0}}, {0}, {0x7FF}},
    {"OnlyALaterDumpDiffers", 3, {{3, 0x12, 0}}, {0x12}, {}},
    {"SeveralDumpsDifferAtOneOffset",
     4,
     {{2, 0x500, 1}, {3, 0x500, 2}, {4, 0x500, 1}},
     {},
     {0x500}},
    {"OnlyTheLastOf100Differs", 100, {{100, 0x401, 0}, {100, 0x3FE, 0}}, {0x3FE}, {0x401}},
    // Dumps 2 and 3 agree with each other but not with dump 1: the reference is dump 1.
    {"NeighboursAgreeButNotWithDump1", 3, {{2, 9, 0xEE}, {3, 9, 0xEE}}, {9}, {}},
    {"HighBitOnly", 2, {{2, 0x20, static_cast<std::uint8_t>((0x20 * 7 + 3) ^ 0x80)}}, {0x20}, {}},
    {"EveryOffset", 2, every_byte_of_dump2(), range(0, 0x400), range(0x400, 0x800)},
};

INSTANTIATE_TEST_SUITE_P(Scan, ScanTest, testing::ValuesIn(scan_cases),
                         [](const testing::TestParamInfo<ScanCase> &i) { return i.param.name; });

// A read-only stream of `size` bytes, byte i being i % 251, whose reads fail once `fail_at` bytes
// have been served, setting errno to `fail_errno` (0: leaving errno alone). It counts the bytes
// handed out.
struct Source {
    std::size_t size;
    std::size_t fail_at;
    int fail_errno;
    std::size_t served;
};

ssize_t read_source(void *cookie, char *buf, std::size_t len) {
    auto *s = static_cast<Source *>(cookie);
    if (s->served >= s->fail_at) {
        if (s->fail_errno != 0)
            errno = s->fail_errno;
        return -1;
    }
    std::size_t n = len;
    n = std::min(n, s->size - s->served);
    n = std::min(n, s->fail_at - s->served);
    for (std::size_t i = 0; i < n; i++)
        buf[i] = static_cast<char>((s->served + i) % 251);
    s->served += n;
    return static_cast<ssize_t>(n);
}

std::FILE *open_source(Source &s) {
    cookie_io_functions_t io{};
    io.read = read_source;
    std::FILE *f = fopencookie(&s, "rb", io);
    // Unbuffered, as the tool reads its dump file, so `served` counts what the loader asked for.
    std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

struct LoadCase {
    const char *name;
    std::size_t size;
    std::size_t fail_at;
    int fail_errno;
    int result;
    int loaded;
    std::size_t served; // bytes taken from the stream
};

void PrintTo(const LoadCase &c, std::ostream *os) {
    *os << c.name;
}

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, LoadsWholeDumpsAndTellsReadErrorsFromEndOfFile) {
    const LoadCase &c = GetParam();
    Source s{c.size, c.fail_at, c.fail_errno, 0};
    std::FILE *f = open_source(s);
    ASSERT_NE(f, nullptr);

    errno = EDOM; // left by something earlier: never to be taken for the read's own errno
    EXPECT_EQ(load_dumps(f), c.result);
    EXPECT_EQ(loaded_dumps, c.loaded);
    EXPECT_EQ(s.served, c.served);
    for (int d = 0; d < loaded_dumps; d++) {
        for (int o = 0; o < DUMP_SIZE; o += 509) {
            const auto pos = static_cast<std::size_t>(d * DUMP_SIZE + o);
            ASSERT_EQ(input_files_data[d][o], pos % 251) << "dump " << d + 1 << " offset " << o;
        }
    }
    std::fclose(f);
}

constexpr std::size_t NEVER = static_cast<std::size_t>(-1);
constexpr std::size_t D = DUMP_SIZE;

const LoadCase load_cases[] = {
    {"Empty", 0, NEVER, 0, 0, 0, 0},
    {"ShortTailIgnored", 3 * D + 1000, NEVER, 0, 0, 3, 3 * D + 1000},
    {"ExactlyTwo", 2 * D, NEVER, 0, 0, 2, 2 * D},
    {"StopsAfter100WithoutReadingOn", 105 * D, NEVER, 0, 0, 100, 100 * D},
    {"FailsAtFirstByte", 5 * D, 0, EIO, EIO, 0, 0},
    {"FailsInsideDump3", 5 * D, 2 * D + 100, EIO, EIO, 2, 2 * D + 100},
    {"FailsRightAfterDump2", 5 * D, 2 * D, EIO, EIO, 2, 2 * D},
    {"FailsWithItsOwnErrno", 5 * D, 2 * D, ENXIO, ENXIO, 2, 2 * D},
    // A stream that fails without saying why still fails: it is not the end of the file.
    {"FailsWithoutSettingErrno", 5 * D, 2 * D, 0, EIO, 2, 2 * D},
    // A failure after the 100th dump is never met: nothing past it is read.
    {"FailsOnlyPastDump100", 105 * D, 100 * D, EIO, 0, 100, 100 * D},
};

INSTANTIATE_TEST_SUITE_P(Load, LoadTest, testing::ValuesIn(load_cases),
                         [](const testing::TestParamInfo<LoadCase> &i) { return i.param.name; });

// A write-only stream that collects what reaches it in `text`. Its write number `fail_write`
// (counting from 0) fails with ENOSPC while later writes succeed again, as on a disk that is full
// for a moment; its close fails when `fail_close` is set, as on a file system that reports an
// error only at close.
struct Sink {
    int fail_write;
    bool fail_close;
    int writes;
    std::string text;
};

ssize_t write_sink(void *cookie, const char *buf, std::size_t len) {
    auto *s = static_cast<Sink *>(cookie);
    if (s->writes++ == s->fail_write) {
        errno = ENOSPC;
        return 0; // a cookie's write reports an error as 0 bytes written, never as -1
    }
    s->text.append(buf, len);
    return static_cast<ssize_t>(len);
}

int close_sink(void *cookie) {
    return static_cast<Sink *>(cookie)->fail_close ? -1 : 0;
}

struct ReportCase {
    const char *name;
    int fail_write; // -1: no write fails
    bool fail_close;
    int result; // what fshut returns
    bool whole; // the sink holds the whole report, else a shorter prefix of it
};

void PrintTo(const ReportCase &c, std::ostream *os) {
    *os << c.name;
}

class ReportTest : public testing::TestWithParam<ReportCase> {};

// 100 dumps that differ at every offset make a report of 3.5 MB, written in many blocks.
TEST_P(ReportTest, LeavesAPrefixOfTheReportAndTellsAnyFailure) {
    const ReportCase &c = GetParam();
    fill_equal(MAX_DUMPS);
    for (int d = 1; d < MAX_DUMPS; d++)
        for (int o = 0; o < DUMP_SIZE; o++)
            input_files_data[d][o] = static_cast<std::uint8_t>(input_files_data[d][o] + d);
    scan_diffs();
    ASSERT_EQ(diffs_num, DUMP_SIZE);
    const std::string full = reference_report(&input_files_data[0][0], MAX_DUMPS,
                                              range(0, DATA_START), range(DATA_START, DUMP_SIZE));

    Sink sink{c.fail_write, c.fail_close, 0, ""};
    cookie_io_functions_t io{};
    io.write = write_sink;
    io.close = close_sink;
    fo = fopencookie(&sink, "w", io);
    ASSERT_NE(fo, nullptr);
    // Unbuffered, as the tool writes its report, so each block is one write to the sink.
    std::setvbuf(fo, nullptr, _IONBF, 0);
    render_report();
    EXPECT_EQ(fshut(fo), c.result);
    fo = nullptr;

    if (c.whole) {
        EXPECT_TRUE(sink.text == full) << sink.text.size() << " of " << full.size() << " bytes";
    } else {
        // Compared as a flag: a failing comparison of megabytes would print them all.
        EXPECT_LT(sink.text.size(), full.size());
        EXPECT_TRUE(full.compare(0, sink.text.size(), sink.text) == 0)
            << "the " << sink.text.size() << " bytes written are not a prefix of the report";
    }
}

const ReportCase report_cases[] = {
    {"AllWritesSucceed", -1, false, 0, true},
    {"FirstBlockFails", 0, false, -1, false},
    // The blocks after the failed one would fit, but must not follow the gap.
    {"SecondBlockFailsLaterOnesWould", 1, false, -1, false},
    {"OnlyTheCloseFails", -1, true, -1, true},
};

INSTANTIATE_TEST_SUITE_P(Report, ReportTest, testing::ValuesIn(report_cases),
                         [](const testing::TestParamInfo<ReportCase> &i) { return i.param.name; });

} // namespace
