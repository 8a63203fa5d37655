#include "trek/CTrekArchive.h"

#include <QIODevice>
#include <QString>
#include <bit>
#include <cstring>

#include "platform/Codepage.h"
#include "trek/CMarkerPoint.h"
#include "trek/CRoute.h"
#include "trek/CTrackLog.h"
#include "trek/CTrackPoint.h"
#include "trek/CTrekObject.h"

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::size_t kMaxClassName = 64;  // a class name must be shorter than this

// The classes a file may name.
const STrekClass* const* knownClasses() {
  static const STrekClass* const classes[] = {&CMarkerPoint::kRuntimeClass, &CTrackLog::kRuntimeClass,
                                              &CTrackPoint::kRuntimeClass, &CRoute::kRuntimeClass, nullptr};
  return classes;
}
}  // namespace

CTrekArchive::CTrekArchive(QIODevice& device, EMode mode) : m_device(device), m_mode(mode) {
  m_buffer.resize(kBufferSize);
  if (mode == EMode::Load) {
    const qint64 size = device.size() - device.pos();
    m_deviceLeft = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  }
}

CTrekArchive::~CTrekArchive() = default;

std::uint64_t CTrekArchive::BytesLeft() const { return (m_end - m_pos) + m_deviceLeft; }

bool CTrekArchive::fill(std::size_t need) {
  // Moves the unread tail to the front and tops the buffer up from the device.
  if (Failed()) return false;
  if (m_end - m_pos >= need) return true;
  if (BytesLeft() < need) {
    Fail(EError::EndOfData);
    return false;
  }
  const std::size_t tail = m_end - m_pos;
  std::memmove(m_buffer.data(), m_buffer.data() + m_pos, tail);
  m_pos = 0;
  m_end = tail;
  while (m_end < need) {
    const std::size_t room = m_buffer.size() - m_end;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(room, m_deviceLeft));
    const qint64 got = m_device.read(reinterpret_cast<char*>(m_buffer.data() + m_end), static_cast<qint64>(want));
    if (got <= 0) {
      Fail(got < 0 ? EError::ReadFailed : EError::EndOfData);
      return false;
    }
    m_end += static_cast<std::size_t>(got);
    m_deviceLeft -= static_cast<std::uint64_t>(got);
  }
  return true;
}

void CTrekArchive::readRaw(void* dst, std::size_t n) {
  auto* out = static_cast<std::uint8_t*>(dst);
  while (n > 0) {
    if (m_pos == m_end && !fill(1)) {
      return;
    }
    const std::size_t take = std::min(n, m_end - m_pos);
    std::memcpy(out, m_buffer.data() + m_pos, take);
    m_pos += take;
    out += take;
    n -= take;
  }
}

std::uint8_t CTrekArchive::readByteSlow() {
  if (!fill(1)) return 0;
  return m_buffer[m_pos++];
}

std::uint16_t CTrekArchive::readWordSlow() {
  if (!fill(2)) return 0;
  const std::uint8_t* p = m_buffer.data() + m_pos;
  m_pos += 2;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t CTrekArchive::readDwordSlow() {
  if (!fill(4)) return 0;
  const std::uint8_t* p = m_buffer.data() + m_pos;
  m_pos += 4;
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

double CTrekArchive::ReadDouble() {
  if (m_end - m_pos < 8 && !fill(8)) return 0.0;
  const std::uint8_t* p = m_buffer.data() + m_pos;
  m_pos += 8;
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return std::bit_cast<double>(v);
}

float CTrekArchive::ReadFloat() { return std::bit_cast<float>(ReadDword()); }

std::string CTrekArchive::ReadString() {
  bool wide = false;
  std::uint64_t length = ReadByte();
  if (length == 0xFF) {
    length = ReadWord();
    if (length == 0xFFFE) {
      // 16-bit characters: a second prefix gives the length in characters.
      wide = true;
      length = ReadByte();
      if (length == 0xFF) {
        length = ReadWord();
        if (length == 0xFFFF) length = ReadDword();
      }
    } else if (length == 0xFFFF) {
      length = ReadDword();
    }
  }
  if (Failed()) return {};
  const std::uint64_t bytes = wide ? length * 2 : length;
  if (bytes > BytesLeft()) {
    Fail(EError::EndOfData);
    return {};
  }
  std::string raw(static_cast<std::size_t>(bytes), '\0');
  readRaw(raw.data(), raw.size());
  if (Failed()) return {};
  if (!wide) return raw;
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(raw[2 * i]) |
                                     (static_cast<std::uint8_t>(raw[2 * i + 1]) << 8));
  }
  const QByteArray utf8 = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toUtf8();
  return platform::cp932::fromUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))).text;
}

std::uint32_t CTrekArchive::ReadCount(std::uint64_t minElementBytes) {
  std::uint32_t n = ReadWord();
  if (n == 0xFFFF) n = ReadDword();
  if (Failed()) return 0;
  if (minElementBytes == 0) minElementBytes = 1;
  if (static_cast<std::uint64_t>(n) > BytesLeft() / minElementBytes) {
    Fail(EError::EndOfData);
    return 0;
  }
  return n;
}

bool CTrekArchive::takeIndex() {
  if (m_nextIndex >= 0x7FFFFFFFu) {
    Fail(EError::UnexpectedObject);
    return false;
  }
  ++m_nextIndex;
  return true;
}

bool CTrekArchive::ReadElementTag(const STrekClass& expected, std::uint16_t& schema) {
  const std::uint16_t tag = ReadWord();
  if (Failed()) return false;
  const SClassEntry* entry = nullptr;
  if (tag == kNewClassTag) {
    const std::uint16_t storedSchema = ReadWord();
    const std::uint16_t nameLength = ReadWord();
    if (Failed()) return false;
    if (nameLength >= kMaxClassName) {
      Fail(EError::UnexpectedObject);
      return false;
    }
    char name[kMaxClassName];
    readRaw(name, nameLength);
    if (Failed()) return false;
    const STrekClass* found = nullptr;
    for (const STrekClass* const* c = knownClasses(); *c != nullptr; ++c) {
      if (std::strlen((*c)->name) == nameLength && std::memcmp((*c)->name, name, nameLength) == 0) found = *c;
    }
    if (found == nullptr) {
      Fail(EError::UnexpectedObject);
      return false;
    }
    m_classes.push_back({m_nextIndex, found, storedSchema});
    if (!takeIndex()) return false;
    entry = &m_classes.back();
  } else {
    std::uint32_t classIndex = 0;
    if (tag == kBigObjectTag) {
      const std::uint32_t big = ReadDword();
      if (Failed()) return false;
      if ((big & kBigClassTag) == 0) {
        // An object index: a back reference, never valid inside a list.
        Fail(EError::UnexpectedObject);
        return false;
      }
      classIndex = big & ~kBigClassTag;
    } else if ((tag & kClassTag) != 0) {
      classIndex = tag & ~kClassTag;
    } else {
      // Null (0000) or a back reference (0001..7FFE): no list holds either.
      Fail(EError::UnexpectedObject);
      return false;
    }
    for (const SClassEntry& c : m_classes) {
      if (c.index == classIndex) {
        entry = &c;
        break;
      }
    }
    if (entry == nullptr) {
      Fail(EError::UnexpectedObject);
      return false;
    }
  }
  if (entry->cls != &expected) {
    Fail(EError::UnexpectedObject);
    return false;
  }
  schema = entry->schema;
  m_objectSchema = schema;
  return takeIndex();
}

void CTrekArchive::writeRaw(const void* src, std::size_t n) {
  if (Failed()) return;
  const auto* in = static_cast<const std::uint8_t*>(src);
  while (n > 0) {
    if (m_pos == m_buffer.size() && !Flush()) return;
    const std::size_t take = std::min(n, m_buffer.size() - m_pos);
    std::memcpy(m_buffer.data() + m_pos, in, take);
    m_pos += take;
    in += take;
    n -= take;
  }
}

void CTrekArchive::WriteByte(std::uint8_t v) { writeRaw(&v, 1); }

void CTrekArchive::WriteWord(std::uint16_t v) {
  const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  writeRaw(b, 2);
}

void CTrekArchive::writeDwordSlow(std::uint32_t v) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  writeRaw(b, 4);
}

void CTrekArchive::WriteDouble(double d) {
  const std::uint64_t v = std::bit_cast<std::uint64_t>(d);
  WriteDword(static_cast<std::uint32_t>(v));
  WriteDword(static_cast<std::uint32_t>(v >> 32));
}

void CTrekArchive::WriteString(const std::string& s) {
  const std::uint64_t n = s.size();
  if (n < 0xFF) {
    WriteByte(static_cast<std::uint8_t>(n));
  } else if (n < 0xFFFE) {
    WriteByte(0xFF);
    WriteWord(static_cast<std::uint16_t>(n));
  } else if (n < 0xFFFFFFFFu) {
    WriteByte(0xFF);
    WriteWord(0xFFFF);
    WriteDword(static_cast<std::uint32_t>(n));
  } else {
    Fail(EError::WriteFailed);
    return;
  }
  writeRaw(s.data(), s.size());
}

void CTrekArchive::WriteCount(std::uint64_t n) {
  if (n < 0xFFFF) {
    WriteWord(static_cast<std::uint16_t>(n));
  } else if (n <= 0xFFFFFFFFu) {
    WriteWord(0xFFFF);
    WriteDword(static_cast<std::uint32_t>(n));
  } else {
    Fail(EError::WriteFailed);
  }
}

void CTrekArchive::WriteElementTag(const STrekClass& cls) {
  for (const SClassEntry& c : m_classes) {
    if (c.cls == &cls) {
      if (c.index < kBigObjectTag) {
        WriteWord(static_cast<std::uint16_t>(kClassTag | c.index));
      } else {
        WriteWord(kBigObjectTag);
        WriteDword(kBigClassTag | c.index);
      }
      takeIndex();
      return;
    }
  }
  const std::size_t nameLength = std::strlen(cls.name);
  WriteWord(kNewClassTag);
  WriteWord(cls.schema);
  WriteWord(static_cast<std::uint16_t>(nameLength));
  writeRaw(cls.name, nameLength);
  m_classes.push_back({m_nextIndex, &cls, cls.schema});
  takeIndex();
  takeIndex();
}

bool CTrekArchive::Flush() {
  if (m_mode != EMode::Store) return !Failed();
  if (Failed()) return false;
  std::size_t done = 0;
  while (done < m_pos) {
    const qint64 put = m_device.write(reinterpret_cast<const char*>(m_buffer.data() + done),
                                      static_cast<qint64>(m_pos - done));
    if (put <= 0) {
      Fail(EError::WriteFailed);
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  m_pos = 0;
  return true;
}
