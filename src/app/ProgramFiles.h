#pragma once
// Where the program's own files lie: the manual and the ReadMe sit beside the program in the build
// folder and in the shared data folder of an installed copy (bin/ -> share/vantoria/doc), and the
// help commands find them from the program's folder either way.
#include <QString>
#include <QStringList>
#include <string>

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

class CVantoriaDoc;

/// The files of a command line, sorted as the program opens them.
struct SCommandLineFiles {
  QString index;          ///< the map index; empty when none is named
  QStringList trekFiles;  ///< opened as trek data files, in the order given
};
/// The first file that is not trek data (".pmd", ".ptd", ".gpx", any case) is the map index;
/// every other file is opened as trek data (one that is none is reported as not opening). Empty
/// names are skipped.
[[nodiscard]] SCommandLineFiles SortCommandLineFiles(const QStringList& files);

/// Opens the files of a command line or of a hand-over from a second start: the map index, trek
/// data files and GPX files (imported as new groups). Only regular files are opened (a FIFO or
/// a folder is refused before anything opens it); a map index that does not open leaves the
/// one that was open. Questions (an old file's conversion) are asked as usual. What did not
/// open is told at the end: as the file's own messages when that is one file and no more than
/// a few messages, otherwise in one message listing the names (long names cut), with `dropped`
/// names that were never queued counted in it. Returns the number of names that failed.
int OpenProgramFiles(CVantoriaDoc& doc, const QStringList& files, int dropped = 0);
/// "ファイルを開く事ができませんでした" listing `failed` (at most 20, each cut to 120 characters) and
/// the count of `dropped` names (UTF-8).
[[nodiscard]] std::string FilesFailedText(const QStringList& failed, int dropped);
/// A name cut to `maxLength` characters, its start and its end kept around "…".
[[nodiscard]] QString CutName(const QString& name, qsizetype maxLength = 120);
