#include <QCoreApplication>
#include <cstdio>
#include <iostream>

#include "CliCommand.h"
#include "platform/IProfileStore.h"

namespace cli {

std::map<std::string, SCliCommand>& registry() {
  static std::map<std::string, SCliCommand> commands;
  return commands;
}

CCliRegistration::CCliRegistration(std::string name, std::string usage, CliHandler handler) {
  registry()[name] = SCliCommand{name, std::move(usage), std::move(handler)};
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vantoria-cli: %s\n", message.c_str());
  return 1;
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
  QCoreApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Kestrelsoft"));
  QCoreApplication::setApplicationName(QStringLiteral("Vantoria"));
  std::vector<std::string> args(argv + 1, argv + argc);
  cli::SCliContext ctx;
  cli::takeOption(args, "--profile", ctx.profilePath);
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
