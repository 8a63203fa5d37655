#pragma once
// A serial line as a plain byte stream with time-outs. The GPS link talks through this
// interface; CSerialPort is the real device, tests may put any byte source behind it.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

/// Line parameters in the form the program stores them.
struct SSerialLine {
  std::int32_t baud = 9600;
  std::uint8_t byteSize = 8;  ///< data bits, 5..8
  std::uint8_t parity = 0;    ///< 0 none, 1 odd, 2 even
  std::uint8_t stopBits = 0;  ///< 0 one stop bit, 2 two stop bits
};

/// Total time-out of one read or write call: constantMs + perByteMs x requested bytes.
struct SSerialTimeouts {
  int constantMs = 5000;
  int perByteMs = 10;
};

class ISerialPort {
 public:
  virtual ~ISerialPort() = default;
  /// Opens `device` exclusively and configures the line; false (and closed) on any failure.
  [[nodiscard]] virtual bool open(const std::string& device, const SSerialLine& line,
                                  const SSerialTimeouts& timeouts) = 0;
  virtual void close() = 0;
  [[nodiscard]] virtual bool isOpen() const = 0;
  /// Reads up to `size` bytes; returns how many arrived before the time-out (fewer = timed out).
  [[nodiscard]] virtual std::size_t read(std::uint8_t* buffer, std::size_t size) = 0;
  /// Writes `size` bytes; returns how many were accepted before the time-out.
  [[nodiscard]] virtual std::size_t write(const std::uint8_t* buffer, std::size_t size) = 0;
  /// Whether unread input is waiting.
  [[nodiscard]] virtual bool bytesWaiting() const = 0;
};

}  // namespace platform
