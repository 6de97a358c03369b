// dumpdiff: compares up to 100 dumps of 2048 bytes held back to back in one file, prints how many
// were loaded and how many offsets differ, and writes those offsets to the report file.
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>

#include "diff_report.h"
#include "diff_scan.h"
#include "dump_state.h"

#if defined(__MINGW32__)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

// Exit statuses of the process.
//   OK_EXIT   0  no argument, or the dumps were compared and any report was written
//   ERR_EXIT  1  an error message was printed, or console output was lost
constexpr int OK_EXIT = 0;
constexpr int ERR_EXIT = 1;

// Codes passed to print_error, one per message.
constexpr int ERR_OPEN = 0;     // the dump file can't be opened (a directory, a name not held)
constexpr int ERR_NO_DUMPS = 1; // the file holds no whole dump
constexpr int ERR_ONE_DUMP = 2; // the file holds exactly one whole dump
constexpr int ERR_WRITE = 3;    // the report could not be written in full
constexpr int ERR_READ = 4;     // reading the dump file failed
constexpr int LOADED = -1;      // loading succeeded with enough dumps

static std::FILE *fi; // the dump file; open only while loading

#if defined(__MINGW32__)
// Asks the MinGW-w64 start-up to expand * and ? in the command line before main runs, as a shell
// does on Linux: a pattern acts on its first match, one that matches nothing arrives unchanged.
extern "C" int _dowildcard; // NOLINT(bugprone-reserved-identifier): the runtime's own name
int _dowildcard = -1;

// The C runtime's own splitting of the wide command line, in msvcrt.dll since Windows NT 4: the
// same quoting rules as the narrow arguments, here without wildcard expansion. The last argument
// points to the runtime's start-up settings, a single int (the new-handler mode).
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int expand_wildcards,
                              int *new_mode); // NOLINT(bugprone-reserved-identifier)

// The first argument in the process code page, as the message shows it when the code page can't
// hold the name: room for the longest command line (32767 UTF-16 units, 4 bytes at most each).
static char shown_name[32768 * 4 + 1];

// What the name check works in is kept here, not on the stack: a function with no local array
// and no local whose address it passes needs no stack-protector canary, whose seeding would make
// the 32-bit program load advapi32 and a cryptographic provider at every start.
static char held_bytes[8];   // one character in the process code page, from hold_char
static int held_len;         // the number of bytes in held_bytes
static wchar_t held_back[4]; // held_bytes converted back, to compare with the character
static int wide_argc;        // the wide arguments from the runtime: their count,
static wchar_t **wide_argv;  // the arguments themselves,
static wchar_t **wide_env;   // and the environment, which the call fills too
static int wide_new_mode;    // the runtime's new-handler mode, passed in unchanged

// Tells whether the code page holds the wide character(s) at `c`, `units` long, exactly: they
// convert into it (into held_bytes) and back unchanged. A best-fit look-alike (a for alpha)
// comes back different.
static bool hold_char(const wchar_t *c, int units) {
    held_len =
        WideCharToMultiByte(CP_ACP, 0, c, units, held_bytes, sizeof held_bytes, nullptr, nullptr);
    if (held_len <= 0)
        return false;
    const int n = MultiByteToWideChar(CP_ACP, 0, held_bytes, held_len, held_back, 4);
    return n == units && held_back[0] == c[0] && (units == 1 || held_back[1] == c[1]);
}

// Checks the first argument as typed against the process code page, in which Windows gives a
// narrow program its arguments: it converts a letter the code page lacks to a best-fit
// look-alike or to ?, so the narrow name could name another file, or become a pattern that the
// start-up has expanded. Returns nullptr when the code page holds the name exactly (always, for
// a name of valid UTF-16, where the manifest has made the code page UTF-8); else the name to
// show, each letter it lacks written as ?. Calls only what Windows XP has.
static const char *unheld_name() {
    if (__wgetmainargs(&wide_argc, &wide_argv, &wide_env, 0, &wide_new_mode) < 0 || wide_argc < 2 ||
        wide_argv == nullptr) {
        // The typed name can't be checked, so it is not trusted.
        shown_name[0] = '?';
        shown_name[1] = '\0';
        return shown_name;
    }
    const wchar_t *name = wide_argv[1];
    bool held = true;
    std::size_t out = 0;
    for (std::size_t i = 0; name[i] != L'\0';) {
        // A surrogate pair is one character.
        const int units = IS_HIGH_SURROGATE(name[i]) && IS_LOW_SURROGATE(name[i + 1]) ? 2 : 1;
        if (!hold_char(name + i, units)) {
            held = false;
            held_bytes[0] = '?';
            held_len = 1;
        }
        for (int b = 0; b < held_len && out + 1 < sizeof shown_name; b++)
            shown_name[out++] = held_bytes[b];
        i += static_cast<std::size_t>(units);
    }
    shown_name[out] = '\0';
    return held ? nullptr : shown_name;
}
#else
// Elsewhere the argument is the name's bytes exactly as typed.
static const char *unheld_name() {
    return nullptr;
}
#endif

// Writes the help text, which is empty: a run with no argument prints nothing.
static void print_help() {}

// Prints the message for `code` on standard output, naming `path` as the process received it.
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

// Opens the dump file at path, loads its dumps into the dump set and closes it. Returns LOADED
// when at least MIN_DUMPS dumps were loaded, else the code of the error to print.
static int load_file(const char *path) {
    fi = std::fopen(path, "rb");
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
    if (argc < 2) {
        print_help();
        return OK_EXIT;
    }
    const char *path = argv[1]; // further arguments are ignored
    // A name that reached the process as another is refused before anything is opened.
    // cppcheck-suppress knownConditionTrueFalse ; never refused on Linux, where names are bytes
    if (const char *shown = unheld_name()) {
        print_error(ERR_OPEN, shown);
        return ERR_EXIT;
    }
    const int err = load_file(path);
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
