#include "app/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

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
                      file.endsWith(QLatin1String(".ptd"), Qt::CaseInsensitive);
    if (!trek && out.index.isEmpty()) out.index = file;
    else out.trekFiles.append(file);
  }
  return out;
}
