#include "app/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/CVantoriaDoc.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/GpxFile.h"

#ifndef VANTORIA_HELP_RELDIR
#define VANTORIA_HELP_RELDIR "../share/vantoria/doc"
#endif

QStringList HelpDirCandidates(const QString& programDir) {
  return {QDir::cleanPath(programDir), QDir::cleanPath(programDir + QLatin1Char('/') + QStringLiteral(VANTORIA_HELP_RELDIR))};
}

QString FindHelpDir(const QString& programDir) {
  for (const QString& dir : HelpDirCandidates(programDir))
    if (QFileInfo(dir + QLatin1Char('/') + QLatin1String(kManualFile)).isFile()) return dir;
  return QDir::cleanPath(programDir);
}

SCommandLineFiles SortCommandLineFiles(const QStringList& files) {
  SCommandLineFiles out;
  for (const QString& file : files) {
    if (file.isEmpty()) continue;
    const bool trek = file.endsWith(QLatin1String(".pmd"), Qt::CaseInsensitive) ||
                      file.endsWith(QLatin1String(".ptd"), Qt::CaseInsensitive) ||
                      file.endsWith(QLatin1String(".prd"), Qt::CaseInsensitive) ||
                      file.endsWith(QLatin1String(".gpx"), Qt::CaseInsensitive);
    if (!trek && out.index.isEmpty()) out.index = file;
    else out.trekFiles.append(file);
  }
  return out;
}

namespace {

constexpr int kListedNames = 20;
/// A failed file's own messages (its reason, then that it did not open) are shown as they are
/// up to this many; more messages make one.
constexpr std::size_t kMessagesShownAlone = 3;

/// Holds the messages (Ok-only boxes) given while the files open; questions still go to the
/// user. Puts the previous prompt back when it goes.
class CCollectingPrompt : public platform::IPrompt {
 public:
  CCollectingPrompt() : m_previous(platform::promptInstalled() ? &platform::prompt() : nullptr) {
    platform::setPrompt(this);
  }
  ~CCollectingPrompt() override { platform::setPrompt(m_previous); }
  CCollectingPrompt(const CCollectingPrompt&) = delete;
  CCollectingPrompt& operator=(const CCollectingPrompt&) = delete;

  platform::EPromptAnswer ask(const platform::SPromptRequest& request) override {
    if (request.buttons == platform::EPromptButtons::Ok) {
      m_messages.push_back(request);
      return platform::EPromptAnswer::Ok;
    }
    return m_previous ? m_previous->ask(request) : platform::prompt().ask(request);
  }
  /// Stops collecting: what comes later goes to the previous prompt.
  std::vector<platform::SPromptRequest> finish() {
    platform::setPrompt(m_previous);
    return std::move(m_messages);
  }

 private:
  platform::IPrompt* m_previous;
  std::vector<platform::SPromptRequest> m_messages;
};

std::filesystem::path toPath(const QString& name) {
  return platform::pathFromUtf8(QFileInfo(name).absoluteFilePath().toStdString());
}

/// A name the program may open: not beyond the system's path length, and a regular file (a
/// FIFO would block the opening; the status is read without opening anything).
bool openable(const QString& name) {
  if (name.size() > 4096) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(toPath(name), ec);
}

bool hasGpxExtension(const QString& name) { return name.endsWith(QLatin1String(".gpx"), Qt::CaseInsensitive); }

}  // namespace

QString CutName(const QString& name, qsizetype maxLength) {
  if (name.size() <= maxLength || maxLength < 3) return name.left(std::max<qsizetype>(maxLength, 0));
  // The end names the file; the start says where it lies.
  const qsizetype tail = (maxLength - 1) * 2 / 3;
  return name.left(maxLength - 1 - tail) + QChar(0x2026) + name.right(tail);
}

std::string FilesFailedText(const QStringList& failed, int dropped) {
  std::string text;
  if (!failed.isEmpty()) {
    text = "次のファイルを開く事ができませんでした。";
    for (qsizetype i = 0; i < failed.size() && i < kListedNames; ++i) text += "\r\n" + CutName(failed[i]).toStdString();
    if (failed.size() > kListedNames) text += "\r\nほか " + std::to_string(failed.size() - kListedNames) + " 個のファイル";
  }
  if (dropped > 0) {
    if (!text.empty()) text += "\r\n";
    text += "一度に渡されたファイルが多すぎるため、" + std::to_string(dropped) + " 個のファイルを開きませんでした。";
  }
  return text;
}

int OpenProgramFiles(CVantoriaDoc& doc, const QStringList& files, int dropped) {
  const SCommandLineFiles sorted = SortCommandLineFiles(files);
  QStringList failed;
  // A name too long for any file is listed cut, never put whole into a message.
  bool listOnly = dropped > 0;
  std::vector<platform::SPromptRequest> messages;
  {
    CCollectingPrompt collect;
    const auto refuse = [&](const QString& name, const std::string& message) {
      failed.append(name);
      if (name.size() > 4096) listOnly = true;
      else collect.ask({message, platform::EPromptIcon::Error, platform::EPromptButtons::Ok, {}, "Vantoria"});
    };
    // A map index that does not open is reported as the open command reports it, and the
    // program runs on with the index it had. Paths are made absolute, so the recent list and
    // the remembered folder stay valid from any working folder.
    if (!sorted.index.isEmpty()) {
      if (!openable(sorted.index)) refuse(sorted.index, CVantoriaDoc::IndexOpenFailedText(toPath(sorted.index)));
      else if (!doc.OpenIndexKeepingOpen(toPath(sorted.index))) failed.append(sorted.index);
    }
    CTrekGroupList& groups = doc.TrekGroups();
    for (const QString& name : sorted.trekFiles) {
      if (!openable(name)) {
        refuse(name, CTrekGroupList::OpenFailedText(toPath(name)));
        continue;
      }
      const std::filesystem::path path = toPath(name);
      if (hasGpxExtension(name)) {
        SGpxReadResult r = ReadGpxFile(path);
        if (!r.ok()) {
          failed.append(name);
          collect.ask({r.error, platform::EPromptIcon::Error, platform::EPromptButtons::Ok, {}, "Vantoria"});
          continue;
        }
        if (r.waypoints) groups.AppendGroup(std::move(r.waypoints));
        if (r.tracks) groups.AppendGroup(std::move(r.tracks));
        if (r.routes) groups.AppendGroup(std::move(r.routes));
        if (!r.notice.empty()) platform::prompt().warn(r.notice);
      } else if (groups.OpenTrekFile(path) == 0) {
        refuse(name, CTrekGroupList::OpenFailedText(path));
      }
    }
    messages = collect.finish();
  }
  if (!listOnly && failed.size() <= 1 && messages.size() <= kMessagesShownAlone) {
    for (const platform::SPromptRequest& m : messages) (void)platform::prompt().ask(m);
  } else if (!failed.isEmpty() || dropped > 0) {
    platform::prompt().error(FilesFailedText(failed, dropped));
  }
  return static_cast<int>(failed.size());
}
