#pragma once
// vantoria-cli subcommands register themselves here: each cmd_*.cpp file defines one or more
// commands with a static CCliRegistration. Output that reports is JSON (UTF-8) on stdout;
// failures print one line on stderr and return 1.
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cli {

struct SCliContext {
  std::vector<std::string> args;  ///< arguments after the subcommand name, global options removed
  std::string profilePath;        ///< --profile FILE, empty for the user's profile
};

using CliHandler = std::function<int(SCliContext&)>;

struct SCliCommand {
  std::string name;
  std::string usage;  ///< one line shown by `vantoria-cli help`
  CliHandler handler;
  bool gui = false;  ///< draws text or pages: runs under a QGuiApplication (offscreen without a display)
};

std::map<std::string, SCliCommand>& registry();

struct CCliRegistration {
  CCliRegistration(std::string name, std::string usage, CliHandler handler, bool gui = false);
};

/// Prints "vantoria-cli: <message>" on stderr as one line (line breaks become spaces) and
/// returns 1.
int fail(const std::string& message);
/// The failure of an output file: "<command>: PATH exists (use --force to overwrite)" when it
/// was not to be replaced, else "<command>: cannot write PATH: <reason>".
int failWrite(const std::string& command, const std::string& path, bool exists, const std::string& reason);

/// Pulls "--name VALUE" out of args; true when present (value in `out`).
bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& out);
/// Pulls a bare "--name" flag out of args.
bool takeFlag(std::vector<std::string>& args, const std::string& name);

}  // namespace cli
