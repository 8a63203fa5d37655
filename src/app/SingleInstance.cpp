#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "platform/UserId.h"

namespace {

constexpr char kSignature[] = "VANTORIA-OPEN-1\n";
constexpr qsizetype kSignatureSize = sizeof kSignature - 1;
constexpr qsizetype kHeaderSize = kSignatureSize + 4;
const QByteArray kConfirm = QByteArrayLiteral("OK\n");
/// A connection that has not sent its whole hand-over by then is dropped.
constexpr int kReceiveTimeoutMs = 10000;
const char* const kBufferProperty = "handOverBytes";

}  // namespace

QByteArray EncodeHandOver(const QStringList& files) {
  QByteArray payload;
  for (const QString& f : files) {
    payload += f.toUtf8();
    payload += '\0';
  }
  QByteArray out(kSignature, kSignatureSize);
  const auto n = static_cast<quint32>(payload.size());
  for (const int shift : {24, 16, 8, 0}) out += static_cast<char>((n >> shift) & 0xFF);
  return out + payload;
}

EHandOverDecode DecodeHandOver(const QByteArray& bytes, QStringList& files) {
  files.clear();
  const qsizetype head = std::min(bytes.size(), kSignatureSize);
  if (bytes.left(head) != QByteArray(kSignature, head)) return EHandOverDecode::Bad;
  if (bytes.size() < kHeaderSize) return EHandOverDecode::Incomplete;
  quint32 n = 0;
  for (qsizetype i = kSignatureSize; i < kHeaderSize; ++i) n = (n << 8) | static_cast<quint8>(bytes[i]);
  if (n > static_cast<quint32>(kMaxHandOverBytes)) return EHandOverDecode::Bad;
  const qsizetype total = kHeaderSize + static_cast<qsizetype>(n);
  if (bytes.size() < total) return EHandOverDecode::Incomplete;
  if (bytes.size() > total) return EHandOverDecode::Bad;
  const QByteArray payload = bytes.mid(kHeaderSize);
  if (!payload.isEmpty() && !payload.endsWith('\0')) return EHandOverDecode::Bad;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  qsizetype start = 0;
  while (start < payload.size()) {
    const qsizetype end = payload.indexOf('\0', start);
    const QString name = utf8.decode(payload.mid(start, end - start));
    if (utf8.hasError()) {
      files.clear();
      return EHandOverDecode::Bad;
    }
    files.append(name);
    start = end + 1;
  }
  return EHandOverDecode::Done;
}

void CHandOverQueue::Add(const QStringList& files) {
  for (const QString& name : files) {
    const QString kept = name.left(kMaxNameLength + 1);
    const qsizetype cost = kept.size() * qsizetype{sizeof(QChar)};
    if (m_files.size() >= kMaxFiles || m_bytes + cost > kMaxBytes) {
      ++m_dropped;
      continue;
    }
    m_files.append(kept);
    m_bytes += cost;
  }
}

CHandOverQueue::STaken CHandOverQueue::Take() {
  STaken out{std::exchange(m_files, {}), std::exchange(m_dropped, 0)};
  m_bytes = 0;
  return out;
}

CInstanceChannel::CInstanceChannel(QString serverName, QObject* parent) : QObject(parent), m_name(std::move(serverName)) {}

CInstanceChannel::~CInstanceChannel() {
  if (m_server) m_server->close();  // removes the socket file
  m_server.reset();  // its connections go while the count they decrement is still here
}

QString CInstanceChannel::DefaultServerName() {
  const QString custom = qEnvironmentVariable("VANTORIA_INSTANCE");
  if (!custom.isEmpty()) return custom;
  const QString name = QStringLiteral("vantoria-%1").arg(platform::currentUserId());
  // The user's own runtime folder where the session has one; the temporary folder otherwise.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return QDir(runtime).filePath(name);
  return name;
}

bool CInstanceChannel::HandOver(const QStringList& files, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(m_name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  QStringList absolute;
  for (const QString& f : files)
    if (!f.isEmpty()) absolute.append(QFileInfo(f).absoluteFilePath());
  socket.write(EncodeHandOver(absolute));
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  QByteArray answer;
  while (answer.size() < kConfirm.size()) {
    if (!socket.bytesAvailable() && !socket.waitForReadyRead(timeoutMs)) return false;
    answer += socket.read(kConfirm.size() - answer.size());
  }
  return answer == kConfirm;
}

bool CInstanceChannel::Listen() {
  if (IsListening()) return true;
  // A program that still runs answers, and keeps its name: listening with access options puts
  // the new socket in place of whatever file holds the name, a live socket included.
  {
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(1000)) {
      probe.abort();
      return false;
    }
  }
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  bool ok = server->listen(m_name);
  if (!ok && server->serverError() == QAbstractSocket::AddressInUseError) {
    // A socket file left by a program that ended.
    QLocalServer::removeServer(m_name);
    ok = server->listen(m_name);
  }
  if (!ok) return false;
  connect(server.get(), &QLocalServer::newConnection, this, &CInstanceChannel::onNewConnection);
  m_server = std::move(server);
  return true;
}

bool CInstanceChannel::IsListening() const { return m_server && m_server->isListening(); }

void CInstanceChannel::onNewConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    if (m_connections >= kMaxConnections) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
    if (socket->bytesAvailable()) onReadyRead(socket);
  }
}

void CInstanceChannel::onReadyRead(QLocalSocket* socket) {
  QByteArray bytes = socket->property(kBufferProperty).toByteArray();
  bytes += socket->read(kHeaderSize + kMaxHandOverBytes + 1 - bytes.size());
  QStringList files;
  switch (DecodeHandOver(bytes, files)) {
    case EHandOverDecode::Incomplete:
      socket->setProperty(kBufferProperty, bytes);
      return;
    case EHandOverDecode::Bad:
      socket->abort();
      return;
    case EHandOverDecode::Done:
      socket->setProperty(kBufferProperty, QByteArray());
      socket->write(kConfirm);
      socket->flush();
      socket->disconnectFromServer();
      emit filesReceived(files);
      return;
  }
}
