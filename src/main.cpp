// dumpdiff: compares up to 100 dumps of 2048 bytes held back to back in one file, prints how many
// were loaded and how many offsets differ, and writes those offsets to the report file.
#include <cerrno>
#include <csignal>
#include <cstdio>

#include "arg_file.h"
#include "diff_report.h"
#include "diff_scan.h"
#include "dump_state.h"

// Exit statuses of the process.
//   OK_EXIT   0  no argument, or the dumps were compared and any report was written
//   ERR_EXIT  1  an error message was printed, or console output was lost
constexpr int OK_EXIT = 0;
constexpr int ERR_EXIT = 1;

// Codes passed to print_error, one per message.
constexpr int ERR_OPEN = 0;     // the dump file can't be opened (or is a directory)
constexpr int ERR_NO_DUMPS = 1; // the file holds no whole dump
constexpr int ERR_ONE_DUMP = 2; // the file holds exactly one whole dump
constexpr int ERR_WRITE = 3;    // the report could not be written in full
constexpr int ERR_READ = 4;     // reading the dump file failed
constexpr int LOADED = -1;      // loading succeeded with enough dumps

static std::FILE *fi; // the dump file; open only while loading

// Writes the help text, which is empty: a run with no argument prints nothing.
static void print_help() {}

// Prints the message for `code` on standard output, naming the file `path`.
static void print_error(int code, const char *path) {
    switch (code) {
    case ERR_OPEN:
        std::printf("Error: unable to open file %s!\n", path);
        break;
    case ERR_NO_DUMPS:
        std::printf("Error: no dumps were loaded from file %s!\n", path);
        break;
    case ERR_ONE_DUMP:
        std::printf("Error: one dump was loaded from file %s!\nAt least two dumps required!\n",
                    path);
        break;
    case ERR_WRITE:
        // Starts with a line end: the "Diffs found" line before it has none.
        std::printf("\nError: unable to write file %s!\n", path);
        break;
    case ERR_READ:
        std::printf("Error: unable to read file %s!\n", path);
        break;
    default:
        break;
    }
}

// Opens the dump file that the command line names, loads its dumps into the dump set and closes
// it. Returns LOADED when at least MIN_DUMPS dumps were loaded, else the code of the error to
// print.
static int load_file() {
    fi = open_arg_file();
    if (fi == nullptr)
        return ERR_OPEN;
    // Unbuffered: the stream reads exactly the bytes asked for, so nothing past the last dump
    // loaded is ever taken from the file (or from a pipe).
    std::setvbuf(fi, nullptr, _IONBF, 0);
    const int err = load_dumps(fi);
    std::fclose(fi);
    fi = nullptr;
    if (err == EISDIR) // opened, but a directory holds no bytes to read: it can't be opened
        return ERR_OPEN;
    if (err != 0)
        return ERR_READ;
    if (loaded_dumps == 0)
        return ERR_NO_DUMPS;
    if (loaded_dumps < MIN_DUMPS)
        return ERR_ONE_DUMP;
    return LOADED;
}

// Runs the comparison for the command line and returns the exit status; console output may still
// sit in the stdout buffer.
static int run(int argc, char *argv[]) {
    const char *path = take_arg_name(argc, argv); // the name as messages show it
    if (path == nullptr) {
        print_help();
        return OK_EXIT;
    }
    const int err = load_file();
    if (err != LOADED) {
        print_error(err, path);
        return ERR_EXIT;
    }
    std::printf("Dumps loaded: %d\n", loaded_dumps);
    scan_diffs();
    std::printf("Diffs found: %d", diffs_num);
    if (diffs_num < 1)
        return OK_EXIT;
    // The counts go out before the report is created; should standard output have been closed,
    // the report can't take over its descriptor while console text is still waiting.
    std::fflush(stdout);
    if (write_report() != 0) {
        print_error(ERR_WRITE, REPORT_NAME);
        return ERR_EXIT;
    }
    return OK_EXIT;
}

// Flushes standard output and tells whether everything written to it arrived. Standard output
// is left open for the runtime, so a run with nothing to say succeeds even when it was closed.
static bool check_stdout() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

int main(int argc, char *argv[]) {
#if defined(SIGPIPE)
    // A reader of standard output that has gone makes a console write fail like any other write
    // (EPIPE) instead of killing the process: the report is still written, and the lost console
    // text is reported on standard error.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#if defined(SIGXFSZ)
    // Likewise a file-size limit (ulimit -f): a write past it fails with EFBIG, so a cut-short
    // report is told as a write error and ends with status 1 instead of a silent kill.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    loaded_dumps = 0;
    diffs_num = 0;
    int status = run(argc, argv);
    if (!check_stdout()) {
        std::fputs("dumpdiff: unable to write standard output\n", stderr);
        status = ERR_EXIT;
    }
    return status;
}
