// Command-line tests: each case runs the real dumpdiff in a fresh temporary directory and compares
// its standard output, standard error, exit status and "diff.txt" exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "reference_report.h"

namespace fs = std::filesystem;

namespace {

constexpr int D = 2048; // bytes in one dump

// ---- fixtures ----------------------------------------------------------------------------

std::string read_file(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path &p, const std::string &bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

// n dumps that all hold the same bytes: byte o of each is o * 5 + 1.
std::string equal_dumps(int n) {
    std::string s;
    for (int d = 0; d < n; d++)
        for (int o = 0; o < D; o++)
            s += static_cast<char>(o * 5 + 1);
    return s;
}

// Sets byte `offset` of dump `dump` (1-based) in a dump file image.
void put(std::string &file, int dump, int offset, unsigned byte) {
    file[static_cast<std::size_t>((dump - 1) * D + offset)] = static_cast<char>(byte);
}

unsigned get(const std::string &file, int dump, int offset) {
    return static_cast<unsigned char>(file[static_cast<std::size_t>((dump - 1) * D + offset)]);
}

// ---- expected report text ------------------------------------------------------------------

// The whole report for the given CODE and DATA offsets of the first `dumps` dumps of `file`.
std::string report(const std::string &file, int dumps, const std::vector<int> &code,
                   const std::vector<int> &data) {
    return reference_report(reinterpret_cast<const unsigned char *>(file.data()), dumps, code,
                            data);
}

// ---- running the tool ------------------------------------------------------------------------

// Where the tool's standard output goes: a file the test reads, /dev/full, nowhere (closed), a
// pipe whose reader has already gone, or "diff.txt" itself, as `dumpdiff d.bin > diff.txt` does.
enum class Out { Captured, DevFull, Closed, BrokenPipe, IntoReport };

struct Result {
    std::string out;
    std::string err;
    int status; // exit status, or -1 when the run did not exit normally
};

// The command that runs the tool: the words of $DUMPDIFF_WRAPPER (say, a memory checker), then
// $DUMPDIFF_EXE, or the tool built beside this test preceded by the emulator that runs it in a
// cross build.
std::vector<std::string> tool_command() {
    std::vector<std::string> words;
    const auto split = [&words](const char *text) {
        std::istringstream in(text);
        for (std::string word; in >> word;)
            words.push_back(word);
    };
    if (const char *w = std::getenv("DUMPDIFF_WRAPPER"))
        split(w);
    if (const char *exe = std::getenv("DUMPDIFF_EXE")) {
        words.push_back(exe);
    } else {
        split(DUMPDIFF_EMULATOR);
        words.push_back(DUMPDIFF_EXE);
    }
    return words;
}

// Opens what standard output is to be for `out`, as a descriptor of the child, or -1.
int open_stdout(Out out, const fs::path &dir, const fs::path &out_path) {
    switch (out) {
    case Out::DevFull:
        return open("/dev/full", O_WRONLY);
    case Out::IntoReport:
        return open((dir / "diff.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    case Out::BrokenPipe: {
        int ends[2];
        if (pipe(ends) != 0)
            return -1;
        close(ends[0]);
        return ends[1];
    }
    default:
        return open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
}

// In a child just forked: has it killed when this test program ends, even by a crash, so that no
// run of the tool or FIFO writer outlives it (the setting holds across exec).
void die_with_parent() {
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // the parent is gone already
        _exit(125);
}

// Runs the tool with args in dir, standard input from /dev/null, and standard output as asked,
// under a file-size limit of `fsize_limit` bytes when that is above 0. A run still going after
// 20 s is killed and fails the case.
Result run_tool(const fs::path &dir, const std::vector<std::string> &args, Out out,
                long fsize_limit) {
    const fs::path out_path = dir / ".." / "stdout";
    const fs::path err_path = dir / ".." / "stderr";

    std::vector<std::string> copies = tool_command();
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        die_with_parent();
        int in = open("/dev/null", O_RDONLY);
        int o = open_stdout(out, dir, out_path);
        int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0 || chdir(dir.c_str()) != 0)
            _exit(126);
        // Each descriptor moves to its place; one that is already there (when this process was
        // started without it) stays open.
        for (const auto &[fd, target] : {std::pair{in, 0}, std::pair{o, 1}, std::pair{e, 2}}) {
            if (fd != target) {
                dup2(fd, target);
                close(fd);
            }
        }
        if (out == Out::Closed)
            close(1);
        // A write to a pipe without a reader raises SIGPIPE, and one past the file-size limit
        // SIGXFSZ, as for a program started from a shell, even when this test runs with either
        // signal ignored (which exec would pass on).
        std::signal(SIGPIPE, SIG_DFL);
        std::signal(SIGXFSZ, SIG_DFL);
        // The case's own file-size limit, else none beyond the hard limit this test was given:
        // a limit inherited from the caller must not cut short the large reports.
        rlimit lim{};
        if (getrlimit(RLIMIT_FSIZE, &lim) == 0) {
            lim.rlim_cur = lim.rlim_max;
            if (fsize_limit > 0 &&
                (lim.rlim_max == RLIM_INFINITY || static_cast<rlim_t>(fsize_limit) < lim.rlim_max))
                lim.rlim_cur = static_cast<rlim_t>(fsize_limit);
            if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
                _exit(126);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Result r{"", "", -1};
    int ws = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(pid, &ws, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &ws, 0);
            ADD_FAILURE() << "run did not end within 20 s";
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(ws))
        r.status = WEXITSTATUS(ws);
    if (out == Out::Captured)
        r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

// ---- the cases -----------------------------------------------------------------------------

constexpr const char *ABSENT = "\x01(absent)"; // expected "diff.txt": there is none
constexpr const char *ANY = "\x01(any)";       // expected "diff.txt": not checked
constexpr const char *OLD = "an earlier report\n";

// Where a case can run: Linux devices and file names exist only there; the command-line
// wildcards of Windows are expanded only by the Windows program's start-up.
enum class Where { Anywhere, LinuxOnly, WindowsOnly };

// Set when $DUMPDIFF_EXE is the Windows build (run under Wine): line ends are CR LF there.
// $DUMPDIFF_WINDOWS is 1 for the program as built, whose manifest makes its code page UTF-8,
// and "ansi" for a copy whose manifest is not honoured, as on Windows before 10 version 1903: it
// runs in the ANSI code page, Windows-1252 under Wine here, in which its messages show names.
std::string windows_mode() {
    const char *w = std::getenv("DUMPDIFF_WINDOWS");
    return w != nullptr ? w : "";
}

bool on_windows() {
    return windows_mode() == "1" || windows_mode() == "ansi";
}

bool in_ansi_code_page() {
    return windows_mode() == "ansi";
}

// Text as the tool writes it on this platform: every line feed a CR LF on Windows.
std::string native(const std::string &text) {
    if (!on_windows() || text == ABSENT || text == ANY || text == OLD)
        return text;
    std::string s;
    for (char ch : text) {
        if (ch == '\n')
            s += '\r';
        s += ch;
    }
    return s;
}

struct Case {
    const char *name;
    Where where = Where::Anywhere;
    std::function<void(const fs::path &)> setup; // makes the fixtures in the run's directory
    std::vector<std::string> args = {};
    Out out = Out::Captured;
    std::string stdout_text; // what standard output must hold (not read unless Captured)
    int status;
    std::string report;           // "diff.txt" afterwards, or ABSENT, or ANY
    std::string stderr_text = ""; // what standard error must hold
    long report_bytes = -1;       // with ANY: the size "diff.txt" must have, unless -1,
    long report_lines = 0;        // with LF line ends, having this many lines
    long report_prefix = -1;      // unless -1: "diff.txt" holds just this many bytes of `report`
    std::string fifo_left = "";   // where the case made "fifo": what must still wait in it
    long fsize_limit = 0;         // the run's file-size limit in bytes, if above 0
};

// Processes a setup started to feed the run; they are killed once it has ended.
std::vector<pid_t> feeders;

// A descriptor that a setup holds open on its FIFO for the run, -1 when none; closed once it has
// ended.
int fifo_hold = -1;

// Writes all of bytes[from, to) to fd.
void write_all(int fd, const std::string &bytes, std::size_t from, std::size_t to) {
    while (from < to) {
        const ssize_t n = write(fd, bytes.data() + from, to - from);
        if (n <= 0)
            return;
        from += static_cast<std::size_t>(n);
    }
}

// Makes the FIFO "fifo" and a process that writes `dumps` whole dumps and then `extra` into it,
// and holds it open without writing more: a reader that asks for a byte past them waits for ever.
// The first one and a half dumps go alone; once the reader has taken them, the rest goes in one
// write into a pipe large enough to hold it all. A reader that read ahead in whole blocks of
// 4096 bytes would now end its last block 1024 bytes past a dump, taking bytes not its own.
void feed_fifo(const fs::path &dir, int dumps, const std::string &extra = "") {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The pipe is made 1 MiB here, before the run, and kept so by holding it open: a pipe that
    // can't grow (the user is over the pipe quota of /proc/sys/fs/pipe-user-pages-soft, or
    // pipe-max-size is lower) would make the writer block part-way and the run wait for ever.
    fifo_hold = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo_hold, 0) << std::strerror(errno);
    const std::string bytes = equal_dumps(dumps) + extra;
    ASSERT_GE(fcntl(fifo_hold, F_SETPIPE_SZ, 1 << 20), static_cast<int>(bytes.size()))
        << "can't make the FIFO's pipe 1 MiB (F_SETPIPE_SZ: " << std::strerror(errno)
        << "), which this case needs: see /proc/sys/fs/pipe-max-size and pipe-user-pages-soft";
    const pid_t pid = fork();
    if (pid == 0) {
        die_with_parent();
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) {
            const std::size_t head = std::min<std::size_t>(D + D / 2, bytes.size());
            write_all(fd, bytes, 0, head);
            for (int queued = 1; ioctl(fd, FIONREAD, &queued) == 0 && queued > 0;)
                usleep(1000);
            write_all(fd, bytes, head, bytes.size());
        }
        for (;;)
            pause();
    }
    feeders.push_back(pid);
}

// What is still waiting in the FIFO "fifo" of dir, taken without waiting for more.
std::string left_in_fifo(const fs::path &dir) {
    const int fd = open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK);
    std::string left;
    char buf[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;)
        left.append(buf, static_cast<std::size_t>(n));
    if (fd >= 0)
        close(fd);
    return left;
}

// A setup that writes the dump file "d.bin", and an earlier "diff.txt" when `old` is set.
std::function<void(const fs::path &)> with(const std::string &bytes, bool old = false) {
    return [bytes, old](const fs::path &dir) {
        write_file(dir / "d.bin", bytes);
        if (old)
            write_file(dir / "diff.txt", OLD);
    };
}

// A setup that writes the dump file "d.bin" and makes "diff.txt" a symbolic link to `target`.
std::function<void(const fs::path &)> with_report_link(const std::string &bytes,
                                                       const char *target) {
    return [bytes, target](const fs::path &dir) {
        write_file(dir / "d.bin", bytes);
        fs::create_symlink(target, dir / "diff.txt");
    };
}

const std::string EXAMPLE_REPORT = "CODE Diffs: 1\n"
                                   "\n"
                                   "012:\n"
                                   "DUMP HEX BINARY \n"
                                   " 01  A5 10100101\n"
                                   " 02  25 00100101\n"
                                   "\n"
                                   "DATA Diffs: 1\n"
                                   "\n"
                                   "7FF:\n"
                                   "DUMP HEX BINARY \n"
                                   " 01  00 00000000\n"
                                   " 02  FF 11111111\n"
                                   "\n"
                                   "TOTAL Diffs: 2\n";

// Two dumps differing at 0x012 (A5 / 25) and 0x7FF (00 / FF) only.
std::string example_dumps() {
    std::string f(2 * D, '\0');
    put(f, 1, 0x012, 0xA5);
    put(f, 2, 0x012, 0x25);
    put(f, 2, 0x7FF, 0xFF);
    return f;
}

std::string differing_at(int dumps, int dump, std::initializer_list<int> offsets) {
    std::string f = equal_dumps(dumps);
    for (int o : offsets)
        put(f, dump, o, get(f, dump, o) ^ 0x5A);
    return f;
}

// Three dumps and a 1000-byte tail that differs everywhere: dump 3 alone differs at 0x010;
// dumps 2 and 3 both differ at 0x6A0.
std::string three_with_tail() {
    std::string f = equal_dumps(3) + std::string(1000, '\x77');
    put(f, 3, 0x010, 0);
    put(f, 2, 0x6A0, 0x11);
    put(f, 3, 0x6A0, 0x22);
    return f;
}

// 101 dumps: dump 100 differs at 0x005, dump 101 everywhere; dump 101 is never loaded.
std::string hundred_and_one() {
    std::string f = equal_dumps(101);
    put(f, 100, 0x005, 0xC3);
    for (int o = 0; o < D; o++)
        put(f, 101, o, get(f, 101, o) ^ 0xFF);
    return f;
}

// Line-end and end-of-file bytes pass unchanged: dump 1 holds 0D 0A 1A at 0..2, dump 2 the same
// but 0A 0D at 0..1, and both end with 1A 0D 0A.
std::string line_end_bytes() {
    std::string f = equal_dumps(2);
    for (int d = 1; d <= 2; d++) {
        put(f, d, 2, 0x1A);
        put(f, d, D - 3, 0x1A);
        put(f, d, D - 2, 0x0D);
        put(f, d, D - 1, 0x0A);
    }
    put(f, 1, 0, 0x0D);
    put(f, 1, 1, 0x0A);
    put(f, 2, 0, 0x0A);
    put(f, 2, 1, 0x0D);
    return f;
}

// Bytes of 0x80 and above at offset 0x00A: 7F, 80, FF.
std::string high_bytes() {
    std::string f = equal_dumps(3);
    put(f, 1, 0x00A, 0x7F);
    put(f, 2, 0x00A, 0x80);
    put(f, 3, 0x00A, 0xFF);
    return f;
}

// 100 dumps that differ at every offset: the largest report there is.
std::string all_differ() {
    std::string f = equal_dumps(100);
    for (int d = 2; d <= 100; d++)
        for (int o = 0; o < D; o++)
            put(f, d, o, get(f, d, o) + static_cast<unsigned>(d * 37 + o / 3));
    return f;
}

std::vector<int> offsets(int from, int to) {
    std::vector<int> v;
    for (int o = from; o < to; o++)
        v.push_back(o);
    return v;
}

// Size of the report for 100 dumps that differ at every offset: three count lines of 18 bytes
// and 2048 blocks of offset line (5), column heading (17), 99 rows of 17 and one of 18, empty line.
constexpr long ALL_DIFFER_BYTES = 3 * 18 + 2048L * (5 + 17 + 99 * 17 + 18 + 1);
constexpr long ALL_DIFFER_LINES = 5 + 2048L * (2 + 100 + 1);

const std::string loaded2 = "Dumps loaded: 2\nDiffs found: 2";
const char *const ANSI_NAME = "Pr\xC3\xBC"
                              "fung \xC3\xA4.bin"; // "Prüfung ä.bin" in UTF-8
const char *const ANSI_NAME_1252 = "Pr\xFC"
                                   "fung \xE4.bin"; // the same name in Windows-1252
// A name with letters outside Windows-1252 (`name`, written here in UTF-8, under the run's
// folder), beside a file whose name is what Windows' best fit makes of it in that code page
// (`look_alike`), which holds other dumps (differing at 0x501 only). `arg`, the name or a pattern
// for it, must read the named file whether the program runs in UTF-8 or in the ANSI code page:
// the look-alike, what a ? in it would match as a pattern, or what the narrow argument becomes
// where a letter best-fits to a space, a quote or a solidus, is never read.
Case non_ansi_name(const char *case_name, Where where, const char *name, const char *look_alike,
                   const char *arg) {
    const std::string ex = example_dumps();
    return {.name = case_name,
            .where = where,
            .setup =
                [ex, name, look_alike](const fs::path &dir) {
                    fs::create_directories((dir / name).parent_path());
                    write_file(dir / name, ex);
                    write_file(dir / look_alike, differing_at(2, 2, {0x501}));
                },
            .args = {arg},
            .stdout_text = loaded2,
            .status = 0,
            .report = EXAMPLE_REPORT};
}

// A name, written here in UTF-8, that no file has: the message shows it in the process code
// page, so as `arg` itself where the program runs in UTF-8, and as `in_ansi` in the ANSI code page.
Case missing_name(const char *case_name, const char *arg, const char *in_ansi) {
    return {.name = case_name,
            .setup = with(example_dumps(), true),
            .args = {arg},
            .stdout_text = std::string("Error: unable to open file ") +
                           (in_ansi_code_page() ? in_ansi : arg) + "!\n",
            .status = 1,
            .report = OLD};
}

const std::string write_error = "\nError: unable to write file diff.txt!\n";
const std::string stdout_lost = "dumpdiff: unable to write standard output\n";

std::vector<Case> cases() {
    const std::string ex = example_dumps();
    return {
        {.name = "NoArgument",
         .setup = with(ex, true),
         .stdout_text = "",
         .status = 0,
         .report = OLD},
        {.name = "EmptyFile",
         .setup = with("", true),
         .args = {"d.bin"},
         .stdout_text = "Error: no dumps were loaded from file d.bin!\n",
         .status = 1,
         .report = OLD},
        {.name = "OneByteShortOfADump",
         .setup = with(std::string(D - 1, 'x'), true),
         .args = {"d.bin"},
         .stdout_text = "Error: no dumps were loaded from file d.bin!\n",
         .status = 1,
         .report = OLD},
        {.name = "ExactlyOneDump",
         .setup = with(equal_dumps(1), true),
         .args = {"d.bin"},
         .stdout_text =
             "Error: one dump was loaded from file d.bin!\nAt least two dumps required!\n",
         .status = 1,
         .report = OLD},
        {.name = "OneByteShortOfTwoDumps",
         .setup = with(ex.substr(0, 2 * D - 1), true),
         .args = {"d.bin"},
         .stdout_text =
             "Error: one dump was loaded from file d.bin!\nAt least two dumps required!\n",
         .status = 1,
         .report = OLD},
        {.name = "TwoEqualDumps",
         .setup = with(equal_dumps(2), true),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 2\nDiffs found: 0",
         .status = 0,
         .report = OLD},
        {.name = "ExampleReport",
         .setup = with(ex, true),
         .args = {"d.bin"},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        {.name = "LastCodeOffset",
         .setup = with(differing_at(2, 2, {0x3FF})),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 2\nDiffs found: 1",
         .status = 0,
         .report = report(differing_at(2, 2, {0x3FF}), 2, {0x3FF}, {})},
        {.name = "FirstDataOffset",
         .setup = with(differing_at(2, 2, {0x400})),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 2\nDiffs found: 1",
         .status = 0,
         .report = report(differing_at(2, 2, {0x400}), 2, {}, {0x400})},
        {.name = "TailIgnoredAndOffsetsCountedOnce",
         .setup = with(three_with_tail()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 3\nDiffs found: 2",
         .status = 0,
         .report = report(three_with_tail(), 3, {0x010}, {0x6A0})},
        {.name = "MoreThan100Dumps",
         .setup = with(hundred_and_one()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 1",
         .status = 0,
         .report = report(hundred_and_one(), 100, {0x005}, {})},
        {.name = "EveryOffsetOf100Dumps",
         .setup = with(all_differ()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 2048",
         .status = 0,
         .report = report(all_differ(), 100, offsets(0, 0x400), offsets(0x400, 0x800))},
        // `ulimit -f 100`: the write past the limit fails like a full disk, and the file keeps the
        // start of the report up to the limit. Under Wine the limit would be Wine's to handle;
        // Windows has none.
        {.name = "ReportPastTheFileSizeLimit",
         .where = Where::LinuxOnly,
         .setup = with(all_differ()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 2048" + write_error,
         .status = 1,
         .report = report(all_differ(), 100, offsets(0, 0x400), offsets(0x400, 0x800)),
         .report_prefix = 100 * 1024,
         .fsize_limit = 100 * 1024},
        // A whole memory image of 3 GiB whose first two dumps are real: only the first 100 dumps
        // are read, on a 32-bit build too. The file is grown with the 64-bit call whatever this
        // test's own off_t, so that the case checks the tool's large-file support alone.
        {.name = "FileOf3GiB",
         .setup =
             [ex](const fs::path &dir) {
                 write_file(dir / "d.bin", ex);
                 ASSERT_EQ(truncate64((dir / "d.bin").c_str(), off64_t{3} << 30), 0);
             },
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 2",
         .status = 0,
         .report = report(ex + std::string(98 * D, '\0'), 100, {0x012}, {0x7FF})},
        {.name = "LineEndBytesReadUnchanged",
         .setup = with(line_end_bytes()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 2\nDiffs found: 2",
         .status = 0,
         .report = report(line_end_bytes(), 2, {0, 1}, {})},
        {.name = "HighBytes",
         .setup = with(high_bytes()),
         .args = {"d.bin"},
         .stdout_text = "Dumps loaded: 3\nDiffs found: 1",
         .status = 0,
         .report = "CODE Diffs: 1\n\n00A:\nDUMP HEX BINARY \n 01  7F 01111111\n 02  80 10000000\n"
                   " 03  FF 11111111\n\nDATA Diffs: 0\n\nTOTAL Diffs: 1\n"},
        {.name = "MissingFile",
         .setup = with(ex, true),
         .args = {"missing.bin"},
         .stdout_text = "Error: unable to open file missing.bin!\n",
         .status = 1,
         .report = OLD},
        {.name = "Directory",
         .setup =
             [](const fs::path &dir) {
                 fs::create_directory(dir / "sub");
                 write_file(dir / "diff.txt", OLD);
             },
         .args = {"sub"},
         .stdout_text = "Error: unable to open file sub!\n",
         .status = 1,
         .report = OLD},
        {.name = "PathWithPercentAndSpaces",
         .setup =
             [](const fs::path &dir) { write_file(dir / "one %s %d dump.bin", equal_dumps(1)); },
         .args = {"one %s %d dump.bin"},
         .stdout_text = "Error: one dump was loaded from file one %s %d dump.bin!\nAt least two "
                        "dumps required!\n",
         .status = 1,
         .report = ABSENT},
        {.name = "SecondArgumentIgnored",
         .setup = with(ex),
         .args = {"d.bin", "missing.bin"},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        {.name = "ReadError",
         .setup = with(ex, true),
         .args = {"/proc/self/mem"},
         .stdout_text = "Error: unable to read file /proc/self/mem!\n",
         .status = 1,
         .report = OLD},
        {.name = "ReportIsADirectory",
         .setup =
             [ex](const fs::path &dir) {
                 write_file(dir / "d.bin", ex);
                 fs::create_directory(dir / "diff.txt");
             },
         .args = {"d.bin"},
         .stdout_text = loaded2 + write_error,
         .status = 1,
         .report = ANY},
        {.name = "ReportOnAFullDisk",
         .setup = with_report_link(ex, "/dev/full"),
         .args = {"d.bin"},
         .stdout_text = loaded2 + write_error,
         .status = 1,
         .report = ANY},
        {.name = "StdoutOnAFullDisk",
         .setup = with(ex),
         .args = {"d.bin"},
         .out = Out::DevFull,
         .stdout_text = "",
         .status = 1,
         .report = EXAMPLE_REPORT,
         .stderr_text = stdout_lost},
        {.name = "StdoutOnAFullDiskWithNothingToSay",
         .setup = with(ex),
         .out = Out::DevFull,
         .stdout_text = "",
         .status = 0,
         .report = ABSENT},
        {.name = "StdoutClosed",
         .setup = with(ex),
         .args = {"d.bin"},
         .out = Out::Closed,
         .stdout_text = "",
         .status = 1,
         .report = EXAMPLE_REPORT,
         .stderr_text = stdout_lost},
        // `dumpdiff d.bin | true`: the reader is gone before the counts are written.
        {.name = "StdoutAPipeWithNoReader",
         .setup = with(ex),
         .args = {"d.bin"},
         .out = Out::BrokenPipe,
         .stdout_text = "",
         .status = 1,
         .report = EXAMPLE_REPORT,
         .stderr_text = stdout_lost},
        {.name = "StdoutAPipeWithNoReaderOnAnError",
         .setup = with(ex, true),
         .args = {"missing.bin"},
         .out = Out::BrokenPipe,
         .stdout_text = "",
         .status = 1,
         .report = OLD,
         .stderr_text = stdout_lost},
        // `dumpdiff d.bin > diff.txt`: the counts go out first, then the report replaces them.
        {.name = "StdoutRedirectedIntoTheReport",
         .setup = with(ex),
         .args = {"d.bin"},
         .out = Out::IntoReport,
         .stdout_text = "",
         .status = 0,
         .report = EXAMPLE_REPORT},
        // Hostile inputs: none may hang, and nothing past dump 100 is ever read.
        {.name = "FifoHeldOpenAfter100Dumps",
         .setup = [](const fs::path &dir) { feed_fifo(dir, 100); },
         .args = {"fifo"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 0",
         .status = 0,
         .report = ABSENT},
        // The 100th dump and more arrive in one write: what follows dump 100 stays in the pipe.
        {.name = "FifoWithMoreThan100DumpsInOneGo",
         .setup = [](const fs::path &dir) { feed_fifo(dir, 100, std::string(D, 'Z')); },
         .args = {"fifo"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 0",
         .status = 0,
         .report = ABSENT,
         .fifo_left = std::string(D, 'Z')},
        {.name = "DevZero",
         .setup = with(ex, true),
         .args = {"/dev/zero"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 0",
         .status = 0,
         .report = OLD},
        // 100 random dumps agree at no offset: the chance of one offset agreeing is 256^-99.
        {.name = "DevUrandom",
         .setup = with(ex),
         .args = {"/dev/urandom"},
         .stdout_text = "Dumps loaded: 100\nDiffs found: 2048",
         .status = 0,
         .report = ANY,
         .report_bytes = ALL_DIFFER_BYTES,
         .report_lines = ALL_DIFFER_LINES},
        {.name = "PathOf4096Characters",
         .setup = with(ex, true),
         .args = {std::string(4096, 'p')},
         .stdout_text = "Error: unable to open file " + std::string(4096, 'p') + "!\n",
         .status = 1,
         .report = OLD},
        {.name = "PathWithDirectivesAndNonAsciiBytes",
         .where = Where::LinuxOnly,
         .setup = [ex](const fs::path &dir) { write_file(dir / "%n%s%x \xC3\xBC\xFF.bin", ex); },
         .args = {"%n%s%x \xC3\xBC\xFF.bin"},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        {.name = "MissingPathWithDirectivesAndNonAsciiBytes",
         .where = Where::LinuxOnly,
         .setup = with(ex),
         .args = {"%n%s%x \xC3\xBC\xFF.bin"},
         .stdout_text = "Error: unable to open file %n%s%x \xC3\xBC\xFF.bin!\n",
         .status = 1,
         .report = ABSENT},
        // Letters of Windows-1252, the ANSI code page under Wine here (with the UTF-8 Linux
        // locale that tests/platforms/windows.sh sets): the name is read whether the program runs
        // in UTF-8, as its manifest asks, or in that code page, where the manifest isn't honoured
        // and the name is ANSI_NAME_1252 (u-umlaut FC, a-umlaut E4).
        {.name = "AnsiLettersInName",
         .setup = [ex](const fs::path &dir) { write_file(dir / ANSI_NAME, ex); },
         .args = {ANSI_NAME},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        // The message shows the name in the process code page: UTF-8, but the ANSI code page on
        // a Windows that doesn't honour the program's manifest.
        missing_name("MissingAnsiLettersInName", ANSI_NAME, ANSI_NAME_1252),
        non_ansi_name("NameWithGreekLetter", Where::Anywhere, "dump_\xCE\xB1.bin", // alpha
                      "dump_a.bin", "dump_\xCE\xB1.bin"),
        non_ansi_name("NameWithFullwidthLetter", Where::Anywhere,
                      "dump_\xEF\xBD\x81.bin", // fullwidth a
                      "dump_a.bin", "dump_\xEF\xBD\x81.bin"),
        // Two CJK letters become ??, a pattern that the two-letter name ab.bin matches.
        non_ansi_name("NameInChinese", Where::Anywhere, "\xE6\x95\xB0\xE6\x8D\xAE.bin", "ab.bin",
                      "\xE6\x95\xB0\xE6\x8D\xAE.bin"),
        non_ansi_name("WildcardWithChineseLetter", Where::WindowsOnly,
                      "\xE6\x95\xB0\xE6\x8D\xAE.bin", "ab.bin", "\xE6\x95\xB0*.bin"),
        // A fullwidth solidus best-fits to /: the name in the folder "inner" would become
        // inner/../secret.bin, a file of the folder above it.
        non_ansi_name("NameWithFullwidthSolidus", Where::Anywhere, "inner/..\xEF\xBC\x8Fsecret.bin",
                      "secret.bin", "inner/..\xEF\xBC\x8Fsecret.bin"),
        // The same name as the one match of a pattern: the start-up's expansion gives the
        // name as the folder holds it, not its best-fit form.
        non_ansi_name("WildcardMatchWithFullwidthSolidus", Where::WindowsOnly,
                      "inner/..\xEF\xBC\x8Fsecret.bin", "secret.bin", "inner/*.bin"),
        // Fullwidth quotation marks best-fit to quotes, which Windows' split of the narrow
        // command line takes away: q"a".bin is the argument qa.bin.
        non_ansi_name("NameWithFullwidthQuotes", Where::Anywhere, "q\uFF02a\uFF02.bin", "qa.bin",
                      "q\uFF02a\uFF02.bin"),
        // An ideographic space best-fits to a space, where that split ends the argument.
        non_ansi_name("NameWithIdeographicSpace", Where::Anywhere, "a\u3000b.bin", "a",
                      "a\u3000b.bin"),
        // A message shows each letter that the code page lacks as ?, never as its look-alike.
        missing_name("MissingNameWithGreekLetter", "nope_\u03B1.bin", "nope_?.bin"),
        // A letter beyond the 16-bit range (mathematical script A, a surrogate pair in UTF-16)
        // is one letter: one ?.
        missing_name("MissingNameWithSurrogatePair", "nope_\U0001D49C.bin", "nope_?.bin"),
        // An argument that is one ideographic space is a name, not the blank that its best-fit
        // form would be: the run does not take it for a run with no argument.
        missing_name("MissingNameOfOneIdeographicSpace", "\u3000", "?"),
        // The Windows start-up expands wildcards before main: the first match is the dump file,
        // and a pattern that matches nothing arrives unchanged.
        {.name = "WildcardActsOnFirstMatch",
         .where = Where::WindowsOnly,
         .setup =
             [ex](const fs::path &dir) {
                 write_file(dir / "dumps-1.bin", ex);
                 write_file(dir / "dumps-2.bin", equal_dumps(1));
             },
         .args = {"dumps-*.bin"},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        {.name = "WildcardQuestionMark",
         .where = Where::WindowsOnly,
         .setup = with(ex),
         .args = {"d.b?n"},
         .stdout_text = loaded2,
         .status = 0,
         .report = EXAMPLE_REPORT},
        {.name = "WildcardMatchingNothing",
         .where = Where::WindowsOnly,
         .setup = with(ex),
         .args = {"none-*.bin"},
         .stdout_text = "Error: unable to open file none-*.bin!\n",
         .status = 1,
         .report = ABSENT},
        {.name = "ReportLinkIntoMissingDirectory",
         .setup = with_report_link(ex, "no/such/dir/diff.txt"),
         .args = {"d.bin"},
         .stdout_text = loaded2 + write_error,
         .status = 1,
         .report = ANY},
        {.name = "BundledSample",
         .setup =
             [](const fs::path &dir) {
                 fs::copy_file(fs::path(SOURCE_DIR) / "examples" / "sample.bin",
                               dir / "sample.bin");
             },
         .args = {"sample.bin"},
         .stdout_text = "Dumps loaded: 3\nDiffs found: 7",
         .status = 0,
         .report = read_file(fs::path(SOURCE_DIR) / "tests" / "golden" / "sample-diff.txt")},
    };
}

// Whether a report holds the expected text; on a mismatch it tells where the two part instead of
// printing megabytes of both.
testing::AssertionResult same_text(const std::string &actual, const std::string &expected) {
    if (actual == expected)
        return testing::AssertionSuccess();
    const auto at = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    const auto from = static_cast<std::size_t>(at.first - actual.begin());
    return testing::AssertionFailure()
           << "diff.txt holds " << actual.size() << " bytes, " << expected.size()
           << " expected; they part at byte " << from << ": \"" << actual.substr(from, 40)
           << "\" where \"" << expected.substr(from, 40) << "\" was expected";
}

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Case &c, std::ostream *os) {
    *os << c.name;
}

// Each case runs in a folder of its own under $TMPDIR (else /tmp), which is removed when the case
// ends, however it ends, with the processes its setup started.
class CliTest : public testing::TestWithParam<Case> {
  protected:
    void TearDown() override {
        for (pid_t pid : feeders) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        feeders.clear();
        if (fifo_hold >= 0)
            close(fifo_hold);
        fifo_hold = -1;
        if (!top.empty())
            fs::remove_all(top);
    }

    fs::path top; // the case's folder, holding the run's directory and its captured output
};

TEST_P(CliTest, Run) {
    const Case &c = GetParam();
    if (c.where == (on_windows() ? Where::LinuxOnly : Where::WindowsOnly))
        GTEST_SKIP() << "not on this platform";
    std::string pattern = (fs::temp_directory_path() / "dumpdiff-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr) << pattern << ": " << std::strerror(errno);
    top = pattern;
    const fs::path dir = top / "work";
    fs::create_directory(dir);
    ASSERT_NO_FATAL_FAILURE(c.setup(dir));

    const Result r = run_tool(dir, c.args, c.out, c.fsize_limit);
    if (fs::exists(dir / "fifo")) {
        EXPECT_EQ(left_in_fifo(dir), c.fifo_left);
    }

    EXPECT_EQ(r.status, c.status);
    if (c.out == Out::Captured) {
        EXPECT_EQ(r.out, native(c.stdout_text));
    }
    EXPECT_EQ(r.err, native(c.stderr_text));
    const fs::path rep = dir / "diff.txt";
    if (c.report == ABSENT) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(rep)));
    } else if (c.report != ANY) {
        std::string expected = native(c.report);
        if (c.report_prefix >= 0)
            expected.resize(static_cast<std::size_t>(c.report_prefix));
        EXPECT_TRUE(same_text(read_file(rep), expected));
    } else if (c.report_bytes >= 0) {
        // Each line end takes one byte more on Windows.
        const std::string text(static_cast<std::size_t>(c.report_lines), '\n');
        EXPECT_EQ(static_cast<long>(fs::file_size(rep)),
                  c.report_bytes - c.report_lines + static_cast<long>(native(text).size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Cli, CliTest, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case> &i) { return i.param.name; });

} // namespace
