#ifndef SRC_PLATFORM_COMMAND_LINE_H_
#define SRC_PLATFORM_COMMAND_LINE_H_

#include <string>

// Command lines for the shell. Whatever bytes a word holds (other than NUL, which no argument
// can hold), the shell hands it to the program as exactly one argument, unchanged.

/// A word made safe for the shell. The empty word, and a word of ordinary characters only
/// (letters, digits, "/._-+,:@%" and bytes from 0x80 up), come back unchanged. Any other word
/// is wrapped in double quotes, with `"`, `\`, `$` and backquote escaped by a backslash.
std::string smart_quote(std::string word);

/// The user's arguments (index 1 to argc - 1) as a command-line tail: each one in double
/// quotes, escaped as smart_quote() escapes, followed by one blank. Empty when argc < 2.
std::string argv2cmdline(int argc, char const** argv);

/// Runs the command line, one simple command, through the shell as system() does (the shell
/// execs it) and returns its raw status (-1 when no shell could be started). The program path
/// is informational only. A command line holding a NUL byte is refused with -1: the shell would
/// see only a part of it. Once the run has been asked to end (SIGINT, SIGTERM, SIGHUP), nothing
/// new is started: -1.
int call_system(std::string program, std::string commandLine);

/// call_system() for a tool that works for the run (unzip): its standard input is /dev/null, so
/// it never waits for the user at the terminal; it is killed when the run ends, however the run
/// ends; and what it prints goes above the download window's drawing, a line at a time.
int call_tool(std::string program, std::string commandLine);

#endif  // SRC_PLATFORM_COMMAND_LINE_H_
