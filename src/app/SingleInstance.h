#pragma once
// One program per user: a second start hands the files of its command line to the program
// already running (through a local socket named after the user) and ends; the running program
// opens them as if they had been given to it, and comes to the front.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QLocalServer;
class QLocalSocket;

/// The bytes a second start sends: a signature, the payload length (4 bytes, big-endian) and
/// the absolute file names in UTF-8, each ended by a NUL byte.
[[nodiscard]] QByteArray EncodeHandOver(const QStringList& files);

enum class EHandOverDecode { Incomplete, Done, Bad };
/// Reads a hand-over from the bytes received so far. Anything else than the signature, a
/// payload above `kMaxHandOverBytes`, text that is not UTF-8 or names that are not NUL-ended are
/// Bad; the caller drops the connection.
[[nodiscard]] EHandOverDecode DecodeHandOver(const QByteArray& bytes, QStringList& files);

/// Largest payload a hand-over may carry (about 4,000 long file names).
inline constexpr int kMaxHandOverBytes = 1 << 20;

/// The names handed over while a dialog of the program is open, waiting for it to close. It keeps
/// at most `kMaxFiles` names and `kMaxBytes` of them; what comes beyond is dropped and counted,
/// so that a flood of hand-overs costs neither memory nor one message per name.
class CHandOverQueue {
 public:
  static constexpr int kMaxFiles = 64;
  /// Bytes of names held (two a character): room for 64 long paths, not for 64 of the longest.
  static constexpr qsizetype kMaxBytes = qsizetype{256} << 10;
  /// A longer name is no file name of this system; it is kept cut to one character more, so
  /// that it is still refused, and reported cut.
  static constexpr qsizetype kMaxNameLength = 4096;

  /// Queues the names in order while they fit; the others are counted as dropped.
  void Add(const QStringList& files);
  struct STaken {
    QStringList files;
    int dropped = 0;
  };
  /// Everything queued, and how many names were dropped since the last Take.
  [[nodiscard]] STaken Take();
  [[nodiscard]] int size() const { return static_cast<int>(m_files.size()); }
  [[nodiscard]] qsizetype bytes() const { return m_bytes; }

 private:
  QStringList m_files;
  qsizetype m_bytes = 0;
  int m_dropped = 0;
};

class CInstanceChannel : public QObject {
  Q_OBJECT
 public:
  explicit CInstanceChannel(QString serverName, QObject* parent = nullptr);
  ~CInstanceChannel() override;

  /// "vantoria-<user id>", in the user's runtime folder (XDG_RUNTIME_DIR) where there is one,
  /// else in the temporary folder; the environment variable VANTORIA_INSTANCE, when set, names
  /// another (several sessions of one user side by side, tests).
  [[nodiscard]] static QString DefaultServerName();

  /// Gives `files` (made absolute here) to a program listening under the name; true once it
  /// has confirmed them. False when none listens or it does not answer within `timeoutMs`.
  bool HandOver(const QStringList& files, int timeoutMs = 5000);
  /// Listens for later starts. A socket left by a program that ended without removing it is
  /// replaced; a program that answers under the name keeps it. False when no server could be
  /// made; the program then runs on alone.
  bool Listen();
  [[nodiscard]] bool IsListening() const;
  [[nodiscard]] QString ServerName() const { return m_name; }

 signals:
  /// A later start handed over these absolute file names (empty: it only asks for the window).
  void filesReceived(const QStringList& files);

 private:
  void onNewConnection();
  void onReadyRead(QLocalSocket* socket);

  /// Connections served at once; more are refused, each holds up to a payload in memory.
  static constexpr int kMaxConnections = 8;

  QString m_name;
  int m_connections = 0;
  std::unique_ptr<QLocalServer> m_server;
};
