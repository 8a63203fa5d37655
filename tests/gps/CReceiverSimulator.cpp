#include "CReceiverSimulator.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>

namespace gpstest {

namespace {
constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kEtx = 0x03;
// Waits for the host, generous so that a busy machine never looks like a missing answer; after
// stop() a quiet line ends every wait within a moment anyway.
constexpr int kAckWaitMs = 10000;
constexpr int kByteWaitMs = 5000;
}  // namespace

CReceiverSimulator::CReceiverSimulator(SSimConfig config) : m_config(std::move(config)) {
  char name[PATH_MAX] = {};
  termios raw{};
  ::cfmakeraw(&raw);
  if (::openpty(&m_masterFd, &m_slaveFd, name, &raw, nullptr) != 0) {
    problem("openpty failed");
    return;
  }
  m_slavePath = name;
  ::fcntl(m_masterFd, F_SETFL, ::fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
  ::fcntl(m_masterFd, F_SETFD, FD_CLOEXEC);
  ::fcntl(m_slaveFd, F_SETFD, FD_CLOEXEC);
  m_thread = std::thread([this] { run(); });
}

CReceiverSimulator::~CReceiverSimulator() {
  stop();
  if (m_masterFd >= 0) ::close(m_masterFd);
  if (m_slaveFd >= 0) ::close(m_slaveFd);
}

void CReceiverSimulator::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
}

std::vector<SHostFrame> CReceiverSimulator::hostFrames() const {
  std::lock_guard lock(m_mutex);
  return m_frames;
}
std::vector<SHostFrame> CReceiverSimulator::uploads() const {
  std::lock_guard lock(m_mutex);
  return m_uploads;
}
std::optional<std::uint16_t> CReceiverSimulator::announced() const {
  std::lock_guard lock(m_mutex);
  return m_announced;
}
std::vector<std::string> CReceiverSimulator::problems() const {
  std::lock_guard lock(m_mutex);
  return m_problems;
}
bool CReceiverSimulator::abortSeen() const {
  std::lock_guard lock(m_mutex);
  return m_abort;
}

void CReceiverSimulator::problem(std::string text) {
  std::lock_guard lock(m_mutex);
  m_problems.push_back(std::move(text));
}

std::vector<std::uint8_t> CReceiverSimulator::frame(std::uint8_t id, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body{id, static_cast<std::uint8_t>(data.size())};
  body.insert(body.end(), data.begin(), data.end());
  int sum = 0;
  for (std::uint8_t b : body) sum += b;
  body.push_back(static_cast<std::uint8_t>(-sum));
  std::vector<std::uint8_t> out{kDle};
  for (std::uint8_t b : body) {
    out.push_back(b);
    if (b == kDle) out.push_back(kDle);
  }
  out.push_back(kDle);
  out.push_back(kEtx);
  return out;
}

void CReceiverSimulator::run() {
  for (;;) {
    const auto f = readHostFrame(100);
    if (!f) {
      if (m_stop) return;
      continue;
    }
    switch (f->id) {
      case 254: productRequest(); break;
      case 10:
        if (f->data.size() == 2) {
          if (answer(*f)) download(f->data[0]);
        } else {
          problem("command packet of size " + std::to_string(f->data.size()));
        }
        break;
      case 27: upload(*f); break;
      case 12: {
        std::lock_guard lock(m_mutex);
        m_abort = true;
        break;
      }
      default: problem("unexpected packet id " + std::to_string(f->id));
    }
  }
}

bool CReceiverSimulator::readByte(std::uint8_t& b, int timeoutMs) {
  // After stop() the bytes still on their way are read until the line has been quiet for a
  // moment, so the last frames of a transfer are never lost to the test's timing.
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (::read(m_masterFd, &b, 1) == 1) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    if (m_stop && now - start >= std::chrono::milliseconds(100)) return false;
    pollfd p{m_masterFd, POLLIN, 0};
    if (::poll(&p, 1, 10) < 0 && errno != EINTR) return false;
    if (p.revents & (POLLHUP | POLLERR)) ::usleep(5000);
  }
}

std::optional<SHostFrame> CReceiverSimulator::readHostFrame(int timeoutMs) {
  SHostFrame f;
  std::uint8_t b = 0;
  if (!readByte(b, timeoutMs)) return std::nullopt;
  f.raw.push_back(b);
  if (b != kDle) {
    problem("stray byte before a frame");
    return std::nullopt;
  }
  // Every byte from the id through the checksum must have its DLE doubled.
  bool bad = false;
  auto stuffed = [&](std::uint8_t& out) {
    if (!readByte(out, kByteWaitMs)) return false;
    f.raw.push_back(out);
    if (out != kDle) return true;
    std::uint8_t again = 0;
    if (!readByte(again, kByteWaitMs)) return false;
    f.raw.push_back(again);
    if (again != kDle) bad = true;
    return true;
  };
  std::uint8_t size = 0;
  std::uint8_t checksum = 0;
  bool complete = stuffed(f.id) && stuffed(size);
  for (int i = 0; complete && i < size; ++i) {
    std::uint8_t d = 0;
    complete = stuffed(d);
    f.data.push_back(d);
  }
  complete = complete && stuffed(checksum);
  std::uint8_t tail[2] = {};
  complete = complete && readByte(tail[0], kByteWaitMs) && readByte(tail[1], kByteWaitMs);
  if (!complete) {
    problem("incomplete frame");
    return std::nullopt;
  }
  f.raw.push_back(tail[0]);
  f.raw.push_back(tail[1]);
  int sum = f.id + size + checksum;
  for (std::uint8_t d : f.data) sum += d;
  if (bad) problem("DLE not doubled in packet " + std::to_string(f.id));
  if ((sum & 0xFF) != 0) problem("bad checksum in packet " + std::to_string(f.id));
  if (tail[0] != kDle || tail[1] != kEtx) problem("no DLE ETX after packet " + std::to_string(f.id));
  std::lock_guard lock(m_mutex);
  m_frames.push_back(f);
  return f;
}

void CReceiverSimulator::writeRaw(const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  int stalled = 0;
  while (done < bytes.size() && !(m_stop && stalled > 5)) {
    const ssize_t r = ::write(m_masterFd, bytes.data() + done, bytes.size() - done);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      stalled = 0;
      continue;
    }
    ++stalled;
    pollfd p{m_masterFd, POLLOUT, 0};
    (void)::poll(&p, 1, 20);
  }
}

void CReceiverSimulator::send(std::uint8_t id, const std::vector<std::uint8_t>& data) {
  const int index = m_sent++;
  if (m_silent) return;
  std::vector<std::uint8_t> bytes = frame(id, data);
  if (index == m_config.faultAt) {
    switch (m_config.fault) {
      case EFault::SilenceMidPacket:
        bytes.resize(bytes.size() / 2);
        m_silent = true;
        break;
      case EFault::BadChecksum: {
        // Re-frame with the checksum off by one (stuffing the new value if needed).
        std::vector<std::uint8_t> body{id, static_cast<std::uint8_t>(data.size())};
        body.insert(body.end(), data.begin(), data.end());
        int sum = 0;
        for (std::uint8_t b : body) sum += b;
        body.push_back(static_cast<std::uint8_t>(-sum + 1));
        bytes = {kDle};
        for (std::uint8_t b : body) {
          bytes.push_back(b);
          if (b == kDle) bytes.push_back(kDle);
        }
        bytes.push_back(kDle);
        bytes.push_back(kEtx);
        break;
      }
      case EFault::Garbage: bytes = {0x55, 0xAA, 0x00, 0xFF, 0x03, 0x10, 0x03, 0x7E}; break;
      case EFault::Endless:
        m_silent = true;
        while (!m_stop) writeRaw(std::vector<std::uint8_t>(512, kDle));
        return;
      default: break;
    }
  }
  writeRaw(bytes);
}

bool CReceiverSimulator::awaitAck(std::uint8_t id) {
  const auto f = readHostFrame(kAckWaitMs);
  if (!f) {
    if (!m_stop && !m_silent && m_config.fault == EFault::None) problem("no acknowledgement of packet " + std::to_string(id));
    return false;
  }
  if (f->id == 12) {
    std::lock_guard lock(m_mutex);
    m_abort = true;
    return false;
  }
  if (f->id != 6 || f->data != std::vector<std::uint8_t>{id, 0}) {
    problem("expected acknowledgement of packet " + std::to_string(id) + ", got packet " + std::to_string(f->id));
    return false;
  }
  return true;
}

bool CReceiverSimulator::answer(const SHostFrame& f) {
  const int index = m_received++;
  const bool nak = m_config.fault == EFault::Nak && index == m_config.faultAt;
  send(nak ? 21 : 6, {f.id, 0});
  return !nak;
}

void CReceiverSimulator::productRequest() {
  SHostFrame request;
  request.id = 254;
  if (!answer(request)) return;
  std::vector<std::uint8_t> product{static_cast<std::uint8_t>(m_config.productId & 0xFF),
                                    static_cast<std::uint8_t>(m_config.productId >> 8),
                                    static_cast<std::uint8_t>(m_config.softwareVersion & 0xFF),
                                    static_cast<std::uint8_t>((m_config.softwareVersion >> 8) & 0xFF)};
  for (const auto& d : m_config.descriptions) {
    product.insert(product.end(), d.begin(), d.end());
    product.push_back(0);
  }
  send(255, product);
  if (!awaitAck(255)) return;
  if (m_config.capabilities.empty()) return;
  std::vector<std::uint8_t> caps;
  for (const auto& [tag, number] : m_config.capabilities) {
    caps.push_back(static_cast<std::uint8_t>(tag));
    caps.push_back(static_cast<std::uint8_t>(number & 0xFF));
    caps.push_back(static_cast<std::uint8_t>(number >> 8));
  }
  send(253, caps);
}

void CReceiverSimulator::download(std::uint8_t command) {
  const std::vector<SSimPacket>* records = nullptr;
  if (command == 7) records = &m_config.waypoints;
  if (command == 6) records = &m_config.tracks;
  if (command == 4) records = &m_config.routes;
  if (!records) {
    problem("unknown command " + std::to_string(command));
    return;
  }
  const auto count = m_config.announcedCount.value_or(static_cast<std::uint16_t>(records->size()));
  send(27, {static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8)});
  if (!awaitAck(27)) return;
  for (const auto& r : *records) {
    send(r.id, r.data);
    // The program acknowledges records only; anything else it must let pass.
    const bool record = r.id == 35 || r.id == 34 || r.id == 99 || r.id == 29 || r.id == 30 || r.id == 98;
    if (record && !awaitAck(r.id)) return;
  }
  send(12, {command, 0});
  (void)awaitAck(12);
}

void CReceiverSimulator::upload(const SHostFrame& first) {
  if (first.data.size() != 2) problem("records packet of size " + std::to_string(first.data.size()));
  {
    std::lock_guard lock(m_mutex);
    m_announced = static_cast<std::uint16_t>(first.data.size() >= 2 ? first.data[0] | first.data[1] << 8 : 0);
  }
  if (!answer(first)) return;
  for (;;) {
    const auto f = readHostFrame(kAckWaitMs);
    if (!f) {
      if (!m_stop) problem("upload stalled");
      return;
    }
    if (f->id == 12) {
      // The end of an upload; before all announced records came it is an early end.
      std::lock_guard lock(m_mutex);
      if (m_uploads.size() != m_announced) m_abort = true;
    }
    if (f->id == 12) {
      (void)answer(*f);
      return;
    }
    if (f->id != 35 && f->id != 99 && f->id != 34 && f->id != 29 && f->id != 30 && f->id != 98) {
      problem("unexpected packet id " + std::to_string(f->id) + " in an upload");
      return;
    }
    {
      std::lock_guard lock(m_mutex);
      m_uploads.push_back(*f);
    }
    if (!answer(*f)) return;
  }
}

int openDescriptorsOf(const std::string& path, int except) {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return -1;
  while (const dirent* e = ::readdir(dir)) {
    const int fd = std::atoi(e->d_name);
    if (e->d_name[0] == '.' || fd == except) continue;
    char target[PATH_MAX] = {};
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n > 0 && path == std::string(target, static_cast<std::size_t>(n))) ++count;
  }
  ::closedir(dir);
  return count;
}

}  // namespace gpstest
