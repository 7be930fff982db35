#include "platform/command_line.h"

#include "framework/os/console.h"
#include "framework/os/shell_command.h"
#include "framework/os/termination.h"

namespace {

// Bytes that mean nothing special to the shell anywhere in a word.
bool isOrdinary(unsigned char c) {
  if (c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    return true;
  }
  switch (c) {
    case '/':
    case '.':
    case '_':
    case '-':
    case '+':
    case ',':
    case ':':
    case '@':
    case '%':
      return true;
    default:
      return false;
  }
}

// Inside double quotes only these four keep a special meaning for the shell.
void appendDoubleQuoted(std::string& out, const std::string& word) {
  out += '"';
  for (const char c : word) {
    if (c == '"' || c == '\\' || c == '$' || c == '`') {
      out += '\\';
    }
    out += c;
  }
  out += '"';
}

}  // namespace

std::string smart_quote(std::string word) {
  bool ordinary = true;
  for (const char c : word) {
    ordinary = ordinary && isOrdinary(static_cast<unsigned char>(c));
  }
  if (ordinary) {
    return word;
  }
  std::string quoted;
  quoted.reserve(word.size() + 2);
  appendDoubleQuoted(quoted, word);
  return quoted;
}

std::string argv2cmdline(int argc, char const** argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    appendDoubleQuoted(tail, argv[i] != nullptr ? argv[i] : "");
    tail += ' ';
  }
  return tail;
}

namespace {

int runCommandLine(const std::string& commandLine, const fw::ShellCommandOptions& options) {
  if (commandLine.find('\0') != std::string::npos) {
    return -1;
  }
  // A run that has been asked to end starts nothing new.
  if (fw::termination::requested() != 0) {
    return -1;
  }
  // Every command line here is one simple command: the shell becomes its program ("exec") instead
  // of waiting for it, so that a termination passed on to the child reaches the program itself.
  return fw::runShellCommand("exec " + commandLine, options);
}

}  // namespace

int call_system(std::string /*program*/, std::string commandLine) {
  return runCommandLine(commandLine, {});
}

int call_tool(std::string /*program*/, std::string commandLine) {
  fw::ShellCommandOptions options;
  options.inputFromNull = true;
  options.endsWithCaller = true;
  options.onOutputLine = [](std::string_view line) { fw::console::writeLine(line); };
  return runCommandLine(commandLine, options);
}
