#pragma once
// The serial link to a GPS receiver: one object per transfer or per port scan. Synchronous;
// every failure is a false return and the transfer layer decides what the user is told.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gps/GpsPacket.h"
#include "platform/ISerialPort.h"

class GpsLink {
 public:
  /// A link over the real serial port.
  GpsLink();
  /// A link over any byte stream (tests).
  explicit GpsLink(std::unique_ptr<platform::ISerialPort> port);
  ~GpsLink();
  GpsLink(const GpsLink&) = delete;
  GpsLink& operator=(const GpsLink&) = delete;

  /// Stored for the next Open; ignored while a port is open.
  void SetLineParameters(std::int32_t baud, std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits);
  /// Opens "COM<n>" (numbers outside 1..4 become 1) through its configured device path.
  [[nodiscard]] bool Open(int portNumber);
  /// Opens a device path directly (port number 0).
  [[nodiscard]] bool OpenDevice(const std::string& devicePath);
  void Close();
  [[nodiscard]] bool IsOpen() const;
  [[nodiscard]] int PortNumber() const { return m_portNumber; }

  /// Tries COM1..COM4 and records which open; returns how many did.
  int ScanPorts();
  [[nodiscard]] bool IsPortAvailable(int portNumber) const;
  [[nodiscard]] int PortCount() const { return m_portCount; }
  [[nodiscard]] int FirstAvailablePort() const { return m_firstAvailable; }

  /// Sends a two-byte packet; false when the leading or the closing DLE could not be written.
  bool SendCommandPacket(std::uint8_t id, std::uint8_t low, std::uint8_t high);
  /// Sends a framed packet; write results are not checked (the acknowledgement tells).
  void SendPacket(std::uint8_t id, std::span<const std::uint8_t> data);
  bool SendAck(std::uint8_t id) { return SendCommandPacket(gps::pid::kAck, id, 0); }

  /// Reads one packet into the receive buffer; false on time-out or a malformed frame.
  [[nodiscard]] bool ReceivePacket();
  [[nodiscard]] std::uint8_t PacketId() const { return m_packet.id; }
  [[nodiscard]] const std::vector<std::uint8_t>& PacketData() const { return m_packet.data; }
  [[nodiscard]] gps::EFrameError LastError() const { return m_lastError; }

  /// Receives an acknowledgement of `id`: packet 6, two bytes, the value `id`.
  [[nodiscard]] bool ExpectAck(std::uint8_t id);
  [[nodiscard]] bool BytesWaiting() const;

  /// Time-outs of links opened from now on (5000 ms + 10 ms per byte unless changed).
  static void SetDefaultTimeouts(const platform::SSerialTimeouts& timeouts);
  [[nodiscard]] static platform::SSerialTimeouts DefaultTimeouts();

 private:
  bool openPath(const std::string& devicePath);
  bool writeAll(std::span<const std::uint8_t> bytes);

  std::unique_ptr<platform::ISerialPort> m_port;
  int m_portNumber = 0;
  platform::SSerialLine m_line{38400, 8, 0, 0};
  std::array<bool, 4> m_available{};
  int m_portCount = 0;
  int m_firstAvailable = 0;
  gps::SPacket m_packet;
  gps::EFrameError m_lastError = gps::EFrameError::None;
};
