#pragma once
// The little-endian archive trek files are read and written through: primitives, strings
// with their length prefixes, counts with the FFFF escape, and list elements tagged with class
// records and indexes. Reading is bounded by the bytes left: a length, count or index that
// cannot fit ends the read with an error before anything is allocated. Errors are sticky:
// after the first, reads return zero values and writes do nothing.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geodesy/DmsAngle.h"

class QIODevice;
struct STrekClass;

class CTrekArchive {
 public:
  enum class EMode { Load, Store };
  enum class EError {
    None,
    EndOfData,         ///< the data ends (or a size cannot fit the bytes left)
    UnexpectedObject,  ///< unknown class, wrong class for the list, bad tag or schema
    WriteFailed,       ///< the device refused bytes
    ReadFailed,        ///< the device failed while reading
  };

  /// `device` must be open in the matching direction; for loading its size() must be known.
  CTrekArchive(QIODevice& device, EMode mode);
  ~CTrekArchive();
  CTrekArchive(const CTrekArchive&) = delete;
  CTrekArchive& operator=(const CTrekArchive&) = delete;

  [[nodiscard]] bool IsLoading() const { return m_mode == EMode::Load; }
  [[nodiscard]] bool IsStoring() const { return m_mode == EMode::Store; }

  [[nodiscard]] bool Failed() const { return m_error != EError::None; }
  [[nodiscard]] EError Error() const { return m_error; }
  /// Records the first error; later ones are ignored.
  void Fail(EError error) {
    if (m_error == EError::None) m_error = error;
    if (m_mode == EMode::Load) {
      // Nothing more is read: the inline paths below find no bytes either.
      m_pos = m_end = 0;
      m_deviceLeft = 0;
    }
  }

  // Reading.
  std::uint8_t ReadByte() {
    if (m_end - m_pos >= 1) return m_buffer[m_pos++];
    return readByteSlow();
  }
  std::uint16_t ReadWord() {
    if (m_end - m_pos >= 2) {
      const std::uint8_t* p = m_buffer.data() + m_pos;
      m_pos += 2;
      return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    return readWordSlow();
  }
  std::uint32_t ReadDword() {
    if (m_end - m_pos >= 4) {
      const std::uint8_t* p = m_buffer.data() + m_pos;
      m_pos += 4;
      return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
             (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    return readDwordSlow();
  }
  std::int32_t ReadInt() { return static_cast<std::int32_t>(ReadDword()); }
  double ReadDouble();
  float ReadFloat();
  /// An angle as degrees, minutes (int32) and seconds (double).
  DmsAngle ReadAngle() {
    DmsAngle a;
    a.degrees = ReadInt();
    a.minutes = ReadInt();
    a.seconds = ReadDouble();
    return a;
  }
  /// A string in any of the prefix forms; 16-bit strings come back as CP932 bytes.
  std::string ReadString();
  /// A count; `minElementBytes` is the least each element takes in the file, so a count that
  /// cannot fit the bytes left fails here.
  std::uint32_t ReadCount(std::uint64_t minElementBytes);
  /// Reads the tag of a list element that must be an object of `expected`, with its class
  /// record when new. Returns the stored schema; nullopt-like false on null, back reference,
  /// unknown or other class (the archive has failed then).
  bool ReadElementTag(const STrekClass& expected, std::uint16_t& schema);
  /// Schema number of the object whose tag was read last (for its Serialize).
  [[nodiscard]] std::uint16_t ObjectSchema() const { return m_objectSchema; }
  /// Bytes not yet consumed.
  [[nodiscard]] std::uint64_t BytesLeft() const;

  // Writing.
  void WriteByte(std::uint8_t v);
  void WriteWord(std::uint16_t v);
  void WriteDword(std::uint32_t v) {
    if (m_buffer.size() - m_pos >= 4 && m_error == EError::None) {
      std::uint8_t* p = m_buffer.data() + m_pos;
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v >> 8);
      p[2] = static_cast<std::uint8_t>(v >> 16);
      p[3] = static_cast<std::uint8_t>(v >> 24);
      m_pos += 4;
      return;
    }
    writeDwordSlow(v);
  }
  void WriteInt(std::int32_t v) { WriteDword(static_cast<std::uint32_t>(v)); }
  void WriteDouble(double v);
  void WriteAngle(const DmsAngle& a) {
    WriteInt(a.degrees);
    WriteInt(a.minutes);
    WriteDouble(a.seconds);
  }
  void WriteString(const std::string& s);
  void WriteCount(std::uint64_t n);
  /// Writes the tag of a list element of class `cls` (with its class record the first time)
  /// and numbers the object.
  void WriteElementTag(const STrekClass& cls);
  /// Pushes buffered bytes to the device; false when the device refused them.
  bool Flush();

  /// Number of the class and object indexes handed out so far.
  [[nodiscard]] std::uint32_t IndexCount() const { return m_nextIndex - 1; }

 private:
  bool fill(std::size_t need);
  std::uint8_t readByteSlow();
  std::uint16_t readWordSlow();
  std::uint32_t readDwordSlow();
  void writeDwordSlow(std::uint32_t v);
  void readRaw(void* dst, std::size_t n);
  void writeRaw(const void* src, std::size_t n);
  bool takeIndex();

  QIODevice& m_device;
  EMode m_mode;
  EError m_error = EError::None;

  std::vector<std::uint8_t> m_buffer;
  std::size_t m_pos = 0;  // next byte in m_buffer
  std::size_t m_end = 0;  // end of valid bytes (loading)
  std::uint64_t m_deviceLeft = 0;  // bytes not yet pulled from the device (loading)

  std::uint16_t m_objectSchema = 0;
  std::uint32_t m_nextIndex = 1;
  struct SClassEntry {
    std::uint32_t index;
    const STrekClass* cls;
    std::uint16_t schema;
  };
  std::vector<SClassEntry> m_classes;  // classes seen, by index
};
