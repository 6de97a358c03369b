#include "arg_file.h"

#if defined(__MINGW32__)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstddef>

// The narrow arguments are not used here. Before Windows 10 version 1903, or wherever the
// manifest is not honoured, Windows makes them from the command line in the ANSI code page, with
// a best-fit look-alike for each letter it lacks: a fullwidth solidus becomes /, a fullwidth
// quotation mark ", an ideographic space a space. They can name another file, split elsewhere, or
// come from a wildcard expanded through the ANSI file API, so whether the start-up expands them
// makes no difference.

// The new-handler mode that the MinGW-w64 start-up hands the C runtime, as the start-up of any
// compiler does; handing it the same again leaves the runtime's mode as it is.
extern "C" int _newmode; // NOLINT(bugprone-reserved-identifier): the runtime's own name

// The C runtime's own split of the wide command line, in msvcrt.dll since Windows NT 4, on the
// quoting rules of the narrow arguments. With expand_wildcards set it expands * and ? through the
// wide file API: each match is a real name in the folder that the pattern names, and a pattern
// that matches nothing stays as it is. It sets the runtime's new-handler mode to *new_mode.
// Older runtimes' versions return nothing, so only what it fills in is looked at.
extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int expand_wildcards,
                              int *new_mode); // NOLINT(bugprone-reserved-identifier)

// What the runtime fills in, and the name, are kept here and not on the stack: a function with
// no local array and no local whose address it passes needs no stack-protector canary, whose
// seeding would make the 32-bit program load advapi32 and a cryptographic provider at start.
static int wide_argc;            // the wide arguments from the runtime: their count,
static wchar_t **wide_argv;      // the arguments themselves,
static wchar_t **wide_env;       // and the environment, which the call fills too
static int new_mode;             // the new-handler mode handed to the runtime
static const wchar_t *wide_name; // the dump file's name; nullptr when it could not be had

// The name as messages show it, in the process code page: room for the longest command line
// (32767 UTF-16 units) and a file name of MAX_PATH units that a pattern's match may add, at 3
// bytes a unit at most (in UTF-8; 2 in the double-byte code pages).
static char shown_name[(32768 + MAX_PATH) * 3];
static char held_bytes[8];   // one character in the process code page, from hold_char
static wchar_t held_back[4]; // held_bytes converted back, to compare with the character

// Converts the character at `c`, `units` UTF-16 units long (2 for a surrogate pair), into the
// process code page, into held_bytes. Returns the number of bytes, or 0 when the code page does
// not hold it exactly: a best-fit look-alike (a for alpha) or a replacement converts back to
// another character. No conversion flag is passed, as the UTF-8 code page takes none.
static int hold_char(const wchar_t *c, int units) {
    const int n =
        WideCharToMultiByte(CP_ACP, 0, c, units, held_bytes, sizeof held_bytes, nullptr, nullptr);
    if (n <= 0 || MultiByteToWideChar(CP_ACP, 0, held_bytes, n, held_back, 4) != units)
        return 0;
    return held_back[0] == c[0] && (units == 1 || held_back[1] == c[1]) ? n : 0;
}

// Puts `name` into shown_name in the process code page, each character that the code page lacks
// as ?, never as a best-fit look-alike. Where the manifest has made the code page UTF-8 (Windows
// 10 version 1903 and later) that is only an unpaired surrogate, which is no letter.
static void show_name(const wchar_t *name) {
    std::size_t out = 0;
    for (std::size_t i = 0; name[i] != L'\0';) {
        const int units = IS_HIGH_SURROGATE(name[i]) && IS_LOW_SURROGATE(name[i + 1]) ? 2 : 1;
        int n = hold_char(name + i, units);
        if (n == 0) {
            held_bytes[0] = '?';
            n = 1;
        }
        for (int b = 0; b < n && out + 1 < sizeof shown_name; b++)
            shown_name[out++] = held_bytes[b];
        i += static_cast<std::size_t>(units);
    }
    shown_name[out] = '\0';
}

const char *take_arg_name(int argc, char * /*argv*/[]) {
    new_mode = _newmode;
    __wgetmainargs(&wide_argc, &wide_argv, &wide_env, 1, &new_mode);
    if (wide_argv == nullptr) {
        // The runtime could not split the command line (memory ran out at start-up). The narrow
        // argument may name another file than the one typed, so none is opened: it shows as ?.
        if (argc < 2)
            return nullptr;
        show_name(L"?");
        return shown_name;
    }
    if (wide_argc < 2)
        return nullptr;
    wide_name = wide_argv[1];
    show_name(wide_name);
    return shown_name;
}

std::FILE *open_arg_file() {
    return wide_name != nullptr ? _wfopen(wide_name, L"rb") : nullptr;
}

#else

static const char *arg_name; // the first argument, the name's bytes as the shell gave them

const char *take_arg_name(int argc, char *argv[]) {
    arg_name = argc < 2 ? nullptr : argv[1];
    return arg_name;
}

std::FILE *open_arg_file() {
    return std::fopen(arg_name, "rb");
}

#endif
