#include "gps/GpsLink.h"

#include "platform/CSerialPort.h"

namespace {
platform::SSerialTimeouts& defaultTimeouts() {
  static platform::SSerialTimeouts timeouts;
  return timeouts;
}
}  // namespace

GpsLink::GpsLink() : m_port(std::make_unique<platform::CSerialPort>()) {}

GpsLink::GpsLink(std::unique_ptr<platform::ISerialPort> port) : m_port(std::move(port)) {}

GpsLink::~GpsLink() { Close(); }

void GpsLink::SetLineParameters(std::int32_t baud, std::uint8_t byteSize, std::uint8_t parity, std::uint8_t stopBits) {
  if (IsOpen()) return;
  m_line = {baud, byteSize, parity, stopBits};
}

bool GpsLink::Open(int portNumber) {
  if (portNumber < 1 || portNumber > 4) portNumber = 1;
  if (!openPath(platform::serialDevicePath(portNumber))) return false;
  m_portNumber = portNumber;
  return true;
}

bool GpsLink::OpenDevice(const std::string& devicePath) {
  if (!openPath(devicePath)) return false;
  m_portNumber = 0;
  return true;
}

bool GpsLink::openPath(const std::string& devicePath) {
  if (!m_port) return false;
  Close();
  return m_port->open(devicePath, m_line, defaultTimeouts());
}

void GpsLink::Close() {
  if (m_port && m_port->isOpen()) m_port->close();
}

bool GpsLink::IsOpen() const { return m_port && m_port->isOpen(); }

int GpsLink::ScanPorts() {
  m_available = {};
  m_portCount = 0;
  m_firstAvailable = 0;
  for (int n = 1; n <= 4; ++n) {
    if (!Open(n)) continue;
    Close();
    m_available[static_cast<std::size_t>(n - 1)] = true;
    ++m_portCount;
    if (m_firstAvailable == 0) m_firstAvailable = n;
  }
  return m_portCount;
}

bool GpsLink::IsPortAvailable(int portNumber) const {
  return portNumber >= 1 && portNumber <= 4 && m_available[static_cast<std::size_t>(portNumber - 1)];
}

bool GpsLink::writeAll(std::span<const std::uint8_t> bytes) {
  return IsOpen() && m_port->write(bytes.data(), bytes.size()) == bytes.size();
}

bool GpsLink::SendCommandPacket(std::uint8_t id, std::uint8_t low, std::uint8_t high) {
  const std::uint8_t data[2] = {low, high};
  const std::vector<std::uint8_t> frame = gps::encodeFrame(id, data);
  // The frame is DLE, the stuffed body, DLE ETX: only the two DLE writes decide the result,
  // the way the line has always been driven.
  const std::span<const std::uint8_t> all(frame);
  if (!writeAll(all.first(1))) return false;
  (void)writeAll(all.subspan(1, all.size() - 3));
  if (!writeAll(all.last(2).first(1))) return false;
  (void)writeAll(all.last(1));
  return true;
}

void GpsLink::SendPacket(std::uint8_t id, std::span<const std::uint8_t> data) {
  (void)writeAll(gps::encodeFrame(id, data));
}

bool GpsLink::ReceivePacket() {
  m_packet = {};
  if (!IsOpen()) {
    m_lastError = gps::EFrameError::Timeout;
    return false;
  }
  const gps::ByteReader reader = [this](std::uint8_t* buffer, std::size_t n) { return m_port->read(buffer, n); };
  gps::SPacket packet;
  m_lastError = gps::readFrame(reader, packet);
  if (m_lastError != gps::EFrameError::None) return false;
  m_packet = std::move(packet);
  return true;
}

bool GpsLink::ExpectAck(std::uint8_t id) {
  if (!ReceivePacket()) return false;
  const auto& d = m_packet.data;
  return m_packet.id == gps::pid::kAck && d.size() == 2 && d[0] == id && d[1] == 0;
}

bool GpsLink::BytesWaiting() const { return IsOpen() && m_port->bytesWaiting(); }

void GpsLink::SetDefaultTimeouts(const platform::SSerialTimeouts& timeouts) { defaultTimeouts() = timeouts; }

platform::SSerialTimeouts GpsLink::DefaultTimeouts() { return defaultTimeouts(); }
