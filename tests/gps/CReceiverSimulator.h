#pragma once
// A GPS receiver on the far side of a pseudo-terminal: it speaks the link protocol (framing,
// acknowledgements, product data, record transfers in both directions) from its own thread,
// checks every frame the program sends, and can misbehave on request.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace gpstest {

enum class EFault {
  None,
  SilenceMidPacket,  ///< outgoing packet `faultAt` stops after half its bytes
  BadChecksum,       ///< outgoing packet `faultAt` carries a wrong checksum
  Nak,               ///< the program's packet `faultAt` is answered with a negative acknowledgement
  Garbage,           ///< outgoing packet `faultAt` is replaced by bytes without a leading DLE
  Endless,           ///< from outgoing packet `faultAt` on, an endless stream of DLE bytes
};

struct SSimPacket {
  std::uint8_t id = 0;
  std::vector<std::uint8_t> data;
};

struct SSimConfig {
  std::uint16_t productId = 0x0104;
  std::int16_t softwareVersion = 330;
  std::vector<std::string> descriptions{"Simulated Receiver Software Version 3.30", "VERBMAP Simulated 1.00"};
  /// Sent as the capability array; empty sends none at all (the receiver stays silent).
  std::vector<std::pair<char, std::uint16_t>> capabilities{
      {'P', 0},   {'L', 1},   {'A', 10},  {'T', 1},   {'A', 100}, {'D', 108}, {'A', 200}, {'D', 201},
      {'D', 108}, {'A', 300}, {'D', 300}, {'A', 301}, {'D', 310}, {'D', 301}, {'A', 500}, {'D', 501}};
  std::vector<SSimPacket> waypoints;  ///< sent for a waypoint transfer, in order
  std::vector<SSimPacket> tracks;     ///< headers and points sent for a track transfer
  std::vector<SSimPacket> routes;     ///< route headers, route points and links for a route transfer
  std::optional<std::uint16_t> announcedCount;  ///< overrides the records count
  EFault fault = EFault::None;
  int faultAt = 0;
};

/// A frame the program sent, as raw wire bytes and decoded.
struct SHostFrame {
  std::vector<std::uint8_t> raw;
  std::uint8_t id = 0;
  std::vector<std::uint8_t> data;
};

class CReceiverSimulator {
 public:
  explicit CReceiverSimulator(SSimConfig config = {});
  ~CReceiverSimulator();
  CReceiverSimulator(const CReceiverSimulator&) = delete;
  CReceiverSimulator& operator=(const CReceiverSimulator&) = delete;

  [[nodiscard]] const std::string& devicePath() const { return m_slavePath; }
  /// The simulator's own descriptor of the device (kept open so the line survives between opens).
  [[nodiscard]] int slaveFd() const { return m_slaveFd; }
  /// Ends the thread; the recorded frames stay readable.
  void stop();

  [[nodiscard]] std::vector<SHostFrame> hostFrames() const;
  /// Records the program uploaded (waypoints, headers, points) in arrival order.
  [[nodiscard]] std::vector<SHostFrame> uploads() const;
  /// The records count the program announced before an upload.
  [[nodiscard]] std::optional<std::uint16_t> announced() const;
  /// Breaches of the protocol seen in the program's frames; empty when all was well.
  [[nodiscard]] std::vector<std::string> problems() const;
  /// Whether the program ended a transfer early with a transfer-complete packet.
  [[nodiscard]] bool abortSeen() const;

  /// The simulator's wire encoding, written independently of the program's.
  static std::vector<std::uint8_t> frame(std::uint8_t id, const std::vector<std::uint8_t>& data);

 private:
  void run();
  std::optional<SHostFrame> readHostFrame(int timeoutMs);
  bool readByte(std::uint8_t& b, int timeoutMs);
  void send(std::uint8_t id, const std::vector<std::uint8_t>& data);
  void writeRaw(const std::vector<std::uint8_t>& bytes);
  /// Waits for the program's acknowledgement of `id`; false when something else came.
  bool awaitAck(std::uint8_t id);
  bool answer(const SHostFrame& f);  ///< acknowledgement or, when the fault says so, a NAK
  void problem(std::string text);
  void productRequest();
  void download(std::uint8_t command);
  void upload(const SHostFrame& first);

  SSimConfig m_config;
  int m_masterFd = -1;
  int m_slaveFd = -1;
  std::string m_slavePath;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
  int m_sent = 0;      ///< packets the simulator has sent
  int m_received = 0;  ///< non-acknowledgement packets received from the program
  bool m_silent = false;

  mutable std::mutex m_mutex;
  std::vector<SHostFrame> m_frames;
  std::vector<SHostFrame> m_uploads;
  std::optional<std::uint16_t> m_announced;
  std::vector<std::string> m_problems;
  bool m_abort = false;
};

/// Descriptors of this process that refer to `path`, other than `except`.
int openDescriptorsOf(const std::string& path, int except = -1);

}  // namespace gpstest
