#include "platform/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/IProfileStore.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

bool speedConstant(std::int32_t baud, speed_t& out) {
  static const struct { std::int32_t baud; speed_t code; } kSpeeds[] = {
      {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},
      {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600},   {115200, B115200},
      {230400, B230400},
  };
  for (const auto& s : kSpeeds) {
    if (s.baud == baud) {
      out = s.code;
      return true;
    }
  }
  return false;
}

bool configure(int fd, const SSerialLine& line) {
  speed_t speed{};
  if (!speedConstant(line.baud, speed)) return false;
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  switch (line.byteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
  }
  if (line.parity == 1) t.c_cflag |= PARENB | PARODD;
  if (line.parity == 2) t.c_cflag |= PARENB;
  if (line.stopBits != 0) t.c_cflag |= CSTOPB;
  // No parity checking, no software flow control in either direction.
  t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IXON | IXOFF | IXANY);
  t.c_cc[VSTART] = 17;
  t.c_cc[VSTOP] = 19;
  // Reads never block in the driver; poll() does the waiting.
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return false;
  return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

void dropModemLines(int fd) {
  // Pseudo-terminals have no modem lines; the call fails there and that is fine.
  int bits = TIOCM_RTS | TIOCM_DTR;
  (void)::ioctl(fd, TIOCMBIC, &bits);
}

Clock::time_point deadlineFor(const SSerialTimeouts& t, std::size_t size) {
  const std::int64_t ms = std::int64_t{t.constantMs} + std::int64_t{t.perByteMs} * static_cast<std::int64_t>(size);
  return Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
}

/// Waits until `fd` is ready for `events` or the deadline passes. 1 ready, 0 timed out,
/// -1 error or hang-up without data.
int waitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) continue;  // the loop head decides whether time is up
    if (p.revents & events) return 1;
    return -1;  // POLLERR, POLLHUP or POLLNVAL without the wanted event
  }
}

}  // namespace

CSerialPort::~CSerialPort() { close(); }

bool CSerialPort::open(const std::string& device, const SSerialLine& line, const SSerialTimeouts& timeouts) {
  close();
  if (device.empty()) return false;
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::isatty(fd) == 1 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  bool exclusive = false;
  if (ok) ok = exclusive = ::ioctl(fd, TIOCEXCL) == 0;
  if (ok) ok = configure(fd, line);
  if (!ok) {
    if (exclusive) (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return false;
  }
  dropModemLines(fd);
  (void)::tcflush(fd, TCIOFLUSH);
  m_fd = fd;
  m_timeouts = timeouts;
  return true;
}

void CSerialPort::close() {
  if (m_fd < 0) return;
  dropModemLines(m_fd);
  (void)::ioctl(m_fd, TIOCNXCL);
  ::close(m_fd);  // also releases the advisory lock
  m_fd = -1;
}

std::size_t CSerialPort::read(std::uint8_t* buffer, std::size_t size) {
  if (m_fd < 0) return 0;
  const auto deadline = deadlineFor(m_timeouts, size);
  std::size_t got = 0;
  bool polledReady = false;
  while (got < size) {
    const ssize_t r = ::read(m_fd, buffer + got, size - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
      polledReady = false;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) return got;  // EIO: the other side has gone
    // Ready but nothing to read is an end of file (a hang-up): stop rather than spin.
    if (r == 0 && polledReady) return got;
    if (waitFor(m_fd, POLLIN, deadline) != 1) return got;
    polledReady = true;
  }
  return got;
}

std::size_t CSerialPort::write(const std::uint8_t* buffer, std::size_t size) {
  if (m_fd < 0) return 0;
  const auto deadline = deadlineFor(m_timeouts, size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t r = ::write(m_fd, buffer + done, size - done);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) return done;
    if (waitFor(m_fd, POLLOUT, deadline) != 1) return done;
  }
  return done;
}

bool CSerialPort::bytesWaiting() const {
  if (m_fd < 0) return false;
  int n = 0;
  return ::ioctl(m_fd, FIONREAD, &n) == 0 && n > 0;
}

std::string serialDevicePath(int portNumber) {
  if (portNumber < 1 || portNumber > 4) return {};
  const std::string key = "COM" + std::to_string(portNumber);
  const std::string fallback = "/dev/ttyUSB" + std::to_string(portNumber - 1);
  const std::string path = profile().readString("SerialPorts", key, fallback);
  return path.empty() ? fallback : path;
}

}  // namespace platform
