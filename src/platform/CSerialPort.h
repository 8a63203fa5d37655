#pragma once
// The serial port on a termios device. The program names its ports COM1..COM4; on Linux each
// name maps to a device path from the profile ("SerialPorts" / "COM1".."COM4"), by default the
// USB-serial adapters /dev/ttyUSB0../dev/ttyUSB3.
#include <string>

#include "platform/ISerialPort.h"

namespace platform {

class CSerialPort : public ISerialPort {
 public:
  CSerialPort() = default;
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  /// Opens for reading and writing, exclusively: TIOCEXCL keeps other programs out and an
  /// advisory lock makes a second open fail even for privileged users. 8 data bits as set,
  /// raw, no flow control, RTS and DTR off; stale input and output are discarded.
  [[nodiscard]] bool open(const std::string& device, const SSerialLine& line,
                          const SSerialTimeouts& timeouts) override;
  /// Drops RTS and DTR, releases the exclusive hold and closes; nothing when closed.
  void close() override;
  [[nodiscard]] bool isOpen() const override { return m_fd >= 0; }
  [[nodiscard]] std::size_t read(std::uint8_t* buffer, std::size_t size) override;
  [[nodiscard]] std::size_t write(const std::uint8_t* buffer, std::size_t size) override;
  [[nodiscard]] bool bytesWaiting() const override;

 private:
  int m_fd = -1;
  SSerialTimeouts m_timeouts;
};

/// The device path of port "COM<number>" (1..4): the profile value "SerialPorts" / "COM<n>",
/// or /dev/ttyUSB<n-1> when the profile has none. Empty for numbers outside 1..4.
[[nodiscard]] std::string serialDevicePath(int portNumber);

}  // namespace platform
