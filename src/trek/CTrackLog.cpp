#include "trek/CTrackLog.h"

#include "trek/CTrekArchive.h"

namespace {
std::unique_ptr<CTrekObject> createTrackLog() { return std::make_unique<CTrackLog>(); }

// The least bytes one point takes in a file: its tag and its data.
constexpr std::uint64_t kMinPointBytes = 2 + 4 + 4 + 8 + 4 + 4 + 8 + 4 + 4 + 8 + 4;
}  // namespace

const STrekClass CTrackLog::kRuntimeClass = {"CTrackLog", 1, &createTrackLog, &CTrekObject::kRuntimeClass};

bool CTrackLog::operator==(const CTrackLog& o) const {
  return m_points == o.m_points && name == o.name && gpsName == o.gpsName && color == o.color &&
         reserved == o.reserved && display == o.display && reserved2 == o.reserved2 &&
         description1 == o.description1 && description2 == o.description2 &&
         m_sendAsActiveLog == o.m_sendAsActiveLog;
}

void CTrackLog::Serialize(CTrekArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteInt(display);
    ar.WriteByte(color);
    ar.WriteInt(reserved);
    ar.WriteString(name);
    ar.WriteString(gpsName);
    ar.WriteInt(reserved2);
    ar.WriteString(description1);
    ar.WriteString(description2);
    ar.WriteCount(m_points.size());
    for (CTrackPoint& p : m_points) {
      ar.WriteElementTag(CTrackPoint::kRuntimeClass);
      p.Serialize(ar);
      if (ar.Failed()) return;
    }
    return;
  }
  if (ar.ObjectSchema() != 1) {
    ar.Fail(CTrekArchive::EError::UnexpectedObject);
    return;
  }
  display = ar.ReadInt();
  color = ar.ReadByte();
  reserved = ar.ReadInt();
  name = ar.ReadString();
  gpsName = ar.ReadString();
  reserved2 = ar.ReadInt();
  description1 = ar.ReadString();
  description2 = ar.ReadString();
  m_sendAsActiveLog = 0;
  m_points.clear();
  const std::uint32_t count = ar.ReadCount(kMinPointBytes);
  if (ar.Failed()) return;
  m_points.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t schema = 0;
    if (!ar.ReadElementTag(CTrackPoint::kRuntimeClass, schema)) return;
    m_points.emplace_back().Serialize(ar);
    if (ar.Failed()) return;
  }
}
