#include "platform/ui/CQtFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "platform/FileLookup.h"

namespace platform {

SFileDialogResult CQtFileDialog::run(const SFileDialogRequest& r) {
  QFileDialog dlg(m_parent, QString::fromStdString(r.title));
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, !r.overwritePrompt);
  dlg.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(r.save ? QFileDialog::AnyFile : (r.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
  if (r.folder && !r.save) {
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
  }
  QStringList filters;
  for (const auto& [name, pattern] : splitFilter(r.filter)) {
    QString p = QString::fromStdString(pattern);
    p.replace(QLatin1Char(';'), QLatin1Char(' '));
    QString n = QString::fromStdString(name);
    filters << (n.contains(QLatin1Char('(')) ? n.section(QLatin1Char('('), 0, 0).trimmed() : n) + QStringLiteral(" (") + p +
                   QLatin1Char(')');
  }
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    if (r.filterIndex >= 0 && r.filterIndex < filters.size()) dlg.selectNameFilter(filters[r.filterIndex]);
  }
  // A folder that is not there (the Windows default "C:\", a disk since removed) starts the
  // dialog in the user's home folder rather than at the root.
  QString dir = QString::fromStdString(pathToUtf8(r.initialDir));
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::homePath();
  dlg.setDirectory(dir);
  if (!r.initialName.empty()) dlg.selectFile(QString::fromStdString(r.initialName));
  if (!r.defaultExt.empty()) dlg.setDefaultSuffix(QString::fromStdString(r.defaultExt));
  SFileDialogResult out;
  if (dlg.exec() != QDialog::Accepted) return out;
  out.accepted = true;
  for (const QString& f : dlg.selectedFiles()) {
    out.paths.push_back(pathFromUtf8(f.toStdString()));
    if (out.typedName.empty()) out.typedName = QFileInfo(f).fileName().toStdString();
  }
  out.filterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter()));
  if (out.filterIndex < 0) out.filterIndex = 0;
  return out;
}

}  // namespace platform
