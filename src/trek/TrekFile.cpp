#include "trek/TrekFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <functional>

#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"
#include "trek/CTrekArchive.h"

namespace {

std::string replaceName(std::string text, const std::string& fileName) {
  const std::size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, fileName);
  return text;
}

STrekReadResult fail(ETrekReadStatus status, const std::string& displayName, std::int32_t version) {
  STrekReadResult r;
  r.status = status;
  r.message = TrekReadMessage(status, displayName);
  r.version = version;
  return r;
}

}  // namespace

std::string TrekReadMessage(ETrekReadStatus status, const std::string& fileName) {
  switch (status) {
    case ETrekReadStatus::Ok:
    case ETrekReadStatus::OpenFailed:
    case ETrekReadStatus::ConversionRefused:
      return {};
    case ETrekReadStatus::NotTrekFile:
      return "このファイルは、Vantoriaのポイントファイルではないか壊れているため、読み込むことができません。";
    case ETrekReadStatus::NewerVersion:
      return "このポイントファイルは、新しいバージョンのVantoriaで作成されているため、読み込むことができません。";
    case ETrekReadStatus::EndOfData:
      return replaceName("%1 の末尾以降にアクセスしようとしました。", fileName);
    case ETrekReadStatus::UnexpectedObject:
      return replaceName("%1 は予期しないオブジェクトを含んでいます。", fileName);
  }
  return {};
}

STrekReadResult ReadTrekDevice(QIODevice& device, const std::string& displayName) {
  auto group = std::make_unique<CTrekData>();
  CTrekArchive ar(device, CTrekArchive::EMode::Load);
  group->Serialize(ar);
  const std::int32_t version = group->ReadVersion();
  switch (ar.Error()) {
    case CTrekArchive::EError::None:
      break;
    case CTrekArchive::EError::EndOfData:
    case CTrekArchive::EError::ReadFailed:
    case CTrekArchive::EError::WriteFailed:
      return fail(ETrekReadStatus::EndOfData, displayName, version);
    case CTrekArchive::EError::UnexpectedObject:
      return fail(ETrekReadStatus::UnexpectedObject, displayName, version);
  }
  switch (group->ReadOutcome()) {
    case CTrekData::EReadOutcome::None:
      break;
    case CTrekData::EReadOutcome::NotTrekFile:
      return fail(ETrekReadStatus::NotTrekFile, displayName, version);
    case CTrekData::EReadOutcome::NewerVersion:
      return fail(ETrekReadStatus::NewerVersion, displayName, version);
    case CTrekData::EReadOutcome::ConversionRefused:
      return fail(ETrekReadStatus::ConversionRefused, displayName, version);
    case CTrekData::EReadOutcome::BadContent:
      return fail(ETrekReadStatus::UnexpectedObject, displayName, version);
  }
  if (group->LoadSucceeded() != 1) return fail(ETrekReadStatus::NotTrekFile, displayName, version);
  STrekReadResult r;
  r.status = ETrekReadStatus::Ok;
  r.version = version;
  r.converted = version < CTrekData::kFileVersion;
  r.group = std::move(group);
  return r;
}

STrekReadResult ReadTrekBytes(std::string_view bytes, const std::string& displayName) {
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return fail(ETrekReadStatus::OpenFailed, displayName, 0);
  return ReadTrekDevice(buffer, displayName);
}

STrekReadResult ReadTrekFile(const std::filesystem::path& path) {
  const std::string displayName = platform::pathToUtf8(path);
  QFile file(QString::fromStdString(displayName));
  if (!file.open(QIODevice::ReadOnly)) return fail(ETrekReadStatus::OpenFailed, displayName, 0);
  return ReadTrekDevice(file, displayName);
}

bool WriteTrekDevice(QIODevice& device, const CTrekData& group) {
  CTrekArchive ar(device, CTrekArchive::EMode::Store);
  // Storing only reads the group; Serialize is one function for both directions.
  const_cast<CTrekData&>(group).Serialize(ar);
  return ar.Flush() && !ar.Failed();
}

std::string WriteTrekBytes(const CTrekData& group) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  if (!WriteTrekDevice(buffer, group)) return {};
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

STrekWriteResult WriteFileAtomic(const std::filesystem::path& path, const std::function<bool(QIODevice&)>& write,
                                 platform::EReplace mode) {
  const std::string name = platform::pathToUtf8(path);
  const std::string failedText = "ファイル [ " + name + " ] を保存できませんでした。";
  platform::CAtomicFile file(path);
  if (!file.open()) return {ETrekWriteStatus::CreateFailed, failedText + "\r\n" + file.failure(), file.failure()};
  if (!write(file) && !file.failed()) file.fail("the content could not be written");
  if (file.failed() || !file.sync()) {
    const std::string reason = file.failure();
    file.discard();
    return {ETrekWriteStatus::WriteFailed, failedText + "\r\n" + reason, reason};
  }
  if (!file.commit(mode)) {
    return {file.targetExists() ? ETrekWriteStatus::Exists : ETrekWriteStatus::CommitFailed,
            failedText + "\r\n" + file.failure(), file.failure()};
  }
  return {};
}

STrekWriteResult WriteTrekFileAtomic(const std::filesystem::path& path, const CTrekData& group,
                                     platform::EReplace mode) {
  return WriteFileAtomic(path, [&group](QIODevice& device) { return WriteTrekDevice(device, group); }, mode);
}
