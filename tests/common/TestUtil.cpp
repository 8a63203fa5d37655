#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <fstream>
#include <sstream>

namespace testutil {

SRunResult runCli(const std::vector<std::string>& args) {
  SRunResult r;
  // A test that runs the program fails without it, never passes or skips unseen.
  if (!std::filesystem::exists(cliPath())) {
    ADD_FAILURE() << "vantoria-cli is missing: " << cliPath().string();
    return r;
  }
  QProcess p;
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  p.start(QString::fromStdString(cliPath().string()), list);
  if (!p.waitForStarted(30000)) {
    ADD_FAILURE() << "vantoria-cli did not start: " << p.errorString().toStdString();
    return r;
  }
  p.closeWriteChannel();
  if (!p.waitForFinished(240000)) {
    ADD_FAILURE() << "vantoria-cli did not finish";
    p.kill();
    p.waitForFinished(10000);
  }
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace testutil
