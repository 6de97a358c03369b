// The dump file as the command line names it: the first argument, the name that messages show
// for it, and opening it. On Windows the name is taken from the wide command line and opened
// through the wide file API, so the file named is the file read whatever the process code page.
#ifndef DUMPDIFF_ARG_FILE_H
#define DUMPDIFF_ARG_FILE_H

#include <cstdio>

// Takes the first argument as the dump file's name; further arguments are ignored. Returns the
// name as messages show it, or nullptr when there is no argument. On Linux that is argv[1] as
// the shell gave it. On Windows it is the runtime's own split of the wide command line, after
// the runtime's wildcard expansion (a pattern stands for its first match, one that matches
// nothing for itself), shown in the process code page with ? for each letter the code page lacks.
const char *take_arg_name(int argc, char *argv[]);

// Opens the file that take_arg_name took, for binary reading. Returns nullptr when it can't.
std::FILE *open_arg_file();

#endif
