#pragma once
// Where the program's own files lie: the manual and the ReadMe sit beside the program in the build
// folder and in the shared data folder of an installed copy (bin/ -> share/vantoria/doc), and the
// help commands find them from the program's folder either way.
#include <QString>
#include <QStringList>

/// The manual's file name.
inline constexpr const char* kManualFile = "Vantoria.html";
/// The ReadMe's file name.
inline constexpr const char* kReadMeFile = "ReadMe.txt";

/// The folders searched for the manual, in order: `programDir` itself, then the installed data
/// folder relative to it.
[[nodiscard]] QStringList HelpDirCandidates(const QString& programDir);
/// The first candidate that holds the manual; `programDir` when none does (the help window then
/// says which file is missing).
[[nodiscard]] QString FindHelpDir(const QString& programDir);

/// The files of a command line, sorted as the program opens them.
struct SCommandLineFiles {
  QString index;          ///< the map index; empty when none is named
  QStringList trekFiles;  ///< opened as trek data files, in the order given
};
/// The first file that is not a trek data file (".pmd", ".ptd", any case) is the map index; every
/// other file is opened as trek data (one that is none is reported as not opening). Empty names
/// are skipped.
[[nodiscard]] SCommandLineFiles SortCommandLineFiles(const QStringList& files);
