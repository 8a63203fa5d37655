#include "common/TestUtil.h"

#include <QProcess>
#include <QStringList>
#include <fstream>
#include <sstream>

namespace testutil {

SRunResult runCli(const std::vector<std::string>& args) {
  QProcess p;
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  p.start(QString::fromStdString(cliPath().string()), list);
  SRunResult r;
  if (!p.waitForStarted(10000)) return r;
  p.closeWriteChannel();
  p.waitForFinished(240000);
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
