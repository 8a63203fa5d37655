#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "platform/IProfileStore.h"

namespace cli {

std::map<std::string, SCliCommand>& registry() {
  static std::map<std::string, SCliCommand> commands;
  return commands;
}

CCliRegistration::CCliRegistration(std::string name, std::string usage, CliHandler handler, bool gui) {
  registry()[name] = SCliCommand{name, std::move(usage), std::move(handler), gui};
}

int fail(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (const char c : message) {
    if (c != '\r' && c != '\n') line += c;
    else if (!line.empty() && line.back() != ' ') line += ' ';
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  std::fprintf(stderr, "vantoria-cli: %s\n", line.c_str());
  return 1;
}

int failWrite(const std::string& command, const std::string& path, bool exists, const std::string& reason) {
  if (exists) return fail(command + ": " + path + " exists (use --force to overwrite)");
  return fail(command + ": cannot write " + path + ": " + (reason.empty() ? std::string("write failed") : reason));
}

bool takeOption(std::vector<std::string>& args, const std::string& name, std::string& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name && i + 1 < args.size()) {
      out = args[i + 1];
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      return true;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      out = args[i].substr(name.size() + 1);
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

}  // namespace cli

namespace {
void usage() {
  std::fprintf(stderr, "usage: vantoria-cli [--profile FILE] COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& [name, cmd] : cli::registry()) std::fprintf(stderr, "  %s\n", cmd.usage.c_str());
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  cli::SCliContext ctx;
  cli::takeOption(args, "--profile", ctx.profilePath);
  // Commands that draw text need fonts, which only a GUI application has; they never show a
  // window, so the offscreen platform serves where there is no display.
  const auto named = args.empty() ? cli::registry().end() : cli::registry().find(args[0]);
  std::unique_ptr<QCoreApplication> app;
  if (named != cli::registry().end() && named->second.gui) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  QCoreApplication::setOrganizationName(QStringLiteral("Kestrelsoft"));
  QCoreApplication::setApplicationName(QStringLiteral("Vantoria"));
  std::unique_ptr<platform::CSettingsProfile> store;
  if (!ctx.profilePath.empty()) {
    store = std::make_unique<platform::CSettingsProfile>(ctx.profilePath);
    platform::setProfile(store.get());
  }
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    usage();
    return args.empty() ? 1 : 0;
  }
  const auto it = cli::registry().find(args[0]);
  if (it == cli::registry().end()) {
    usage();
    return cli::fail("unknown command: " + args[0]);
  }
  ctx.args.assign(args.begin() + 1, args.end());
  const int rc = it->second.handler(ctx);
  std::fflush(stdout);
  return rc;
}
