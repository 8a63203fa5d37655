#include "gps/GpsTransfer.h"

#include <QCoreApplication>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "geodesy/DatumConverter.h"
#include "gps/GpsRecords.h"
#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"
#include "trek/TrekEditing.h"

namespace {

std::uint16_t u16(const std::vector<std::uint8_t>& d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] | d[at + 1] << 8);
}

/// double to float without leaving the float range (an out-of-range narrowing is undefined).
float narrow(double v) {
  if (std::isnan(v)) return static_cast<float>(v);
  if (v > FLT_MAX) return FLT_MAX;
  if (v < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(v);
}

enum class EKind { Waypoints, Tracks, Routes };

/// One transfer from opening the port to the final message.
class CTransfer {
 public:
  CTransfer(EKind kind, bool upload, IGpsProgress& progress) : m_kind(kind), m_upload(upload), m_progress(progress) {}
  ~CTransfer() {
    m_link.Close();
    if (m_shown) m_progress.Hide();
  }

  /// Opens the port, shows the window, identifies the receiver. False when the transfer has
  /// already ended (its message shown).
  bool start(const SGpsPort& port) {
    m_link.SetLineParameters(9600, 8, 0, 0);
    const bool opened = port.device.empty() ? m_link.Open(port.number) : m_link.OpenDevice(port.device);
    if (!opened) {
      platform::prompt().error(gpstext::kOpenFailed);
      return false;
    }
    m_progress.Show(activity());
    m_shown = true;
    const auto product = RequestProduct(m_link);
    if (!product) return failure();
    const auto& caps = product->capabilities;
    bool ok = Supports(caps, 'L', 1, 0) && Supports(caps, 'A', 10, 0);
    if (m_kind == EKind::Waypoints) ok = ok && Supports(caps, 'A', 100, 108);
    if (m_kind == EKind::Tracks) ok = ok && Supports(caps, 'A', 301, 310);
    if (m_kind == EKind::Routes) {
      // Route points travel as the waypoint records used everywhere else (type 108).
      m_routeLinks = Supports(caps, 'A', 201, 201) && Supports(caps, 'A', 201, 108) && Supports(caps, 'A', 201, 210);
      ok = ok && (m_routeLinks || (Supports(caps, 'A', 200, 201) && Supports(caps, 'A', 200, 108)));
    }
    if (!ok) return unsupported();
    return true;
  }
  /// The receiver takes routes with a link record between points (A201) rather than without (A200).
  [[nodiscard]] bool routeLinks() const { return m_routeLinks; }

  GpsLink& link() { return m_link; }
  std::uint8_t command() const {
    if (m_kind == EKind::Routes) return gps::cmd::kTransferRoutes;
    return m_kind == EKind::Waypoints ? gps::cmd::kTransferWaypoints : gps::cmd::kTransferTracks;
  }

  /// Lets one round of pending events through so the window repaints and its button works.
  static void dispatch() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  }
  /// Dispatches, then reports k of total; false when the user cancelled.
  bool step(long k, long total) {
    dispatch();
    const double fraction = total > 0 ? static_cast<double>(k) / static_cast<double>(total) : 0.0;
    return m_progress.Update(fraction);
  }

  bool failure() {
    (void)m_link.SendCommandPacket(gps::pid::kTransferComplete, command(), 0);
    finish();
    platform::prompt().error(gpstext::kFailed);
    return false;
  }
  bool unsupported() {
    finish();
    platform::prompt().error(gpstext::kUnsupported);
    return false;
  }
  bool cancelled() {
    (void)m_link.SendCommandPacket(gps::pid::kTransferComplete, command(), 0);
    finish();
    platform::prompt().inform(gpstext::kCancelled);
    return false;
  }
  bool completed() {
    finish();
    platform::prompt().inform(m_upload ? gpstext::kSent : gpstext::kReceived);
    return true;
  }

 private:
  const char* activity() const {
    if (m_kind == EKind::Waypoints) return m_upload ? gpstext::kUploadingWaypoints : gpstext::kDownloadingWaypoints;
    if (m_kind == EKind::Routes) return m_upload ? gpstext::kUploadingRoutes : gpstext::kDownloadingRoutes;
    return m_upload ? gpstext::kUploadingTracks : gpstext::kDownloadingTracks;
  }
  void finish() {
    m_link.Close();
    if (m_shown) m_progress.Hide();
    m_shown = false;
  }

  EKind m_kind;
  bool m_upload;
  IGpsProgress& m_progress;
  GpsLink m_link;
  bool m_shown = false;
  bool m_routeLinks = false;
};

/// Receives the records packet that opens a download; its 16-bit count, or none.
std::optional<std::uint16_t> receiveRecordCount(GpsLink& link, std::uint8_t command) {
  if (!link.SendCommandPacket(gps::pid::kCommand, command, 0) || !link.ExpectAck(gps::pid::kCommand)) return std::nullopt;
  if (!link.ReceivePacket() || link.PacketData().size() < 2) return std::nullopt;
  const std::uint16_t count = u16(link.PacketData(), 0);
  (void)link.SendAck(gps::pid::kRecords);
  return count;
}

bool announce(GpsLink& link, std::size_t n) {
  return link.SendCommandPacket(gps::pid::kRecords, static_cast<std::uint8_t>(n & 0xFF),
                                static_cast<std::uint8_t>((n >> 8) & 0xFF)) &&
         link.ExpectAck(gps::pid::kRecords);
}

gps::STrackPointRecord pointRecord(const CTrackPoint& p, bool first) {
  gps::STrackPointRecord r;
  r.latitude = DatumConverter::AngleToSemicircles(p.latitude);
  r.longitude = DatumConverter::AngleToSemicircles(p.longitude);
  r.time = static_cast<std::uint32_t>(p.time.ToReceiverSeconds());
  r.altitude = narrow(p.altitude);
  r.newTrack = first;
  return r;
}

}  // namespace

std::optional<SGpsProduct> RequestProduct(GpsLink& link) {
  if (!link.SendCommandPacket(gps::pid::kProductRequest, 0, 0) || !link.ExpectAck(gps::pid::kProductRequest)) {
    return std::nullopt;
  }
  if (!link.ReceivePacket()) return std::nullopt;
  const auto& d = link.PacketData();
  if (d.size() < 4) return std::nullopt;
  SGpsProduct product;
  product.productId = u16(d, 0);
  product.softwareVersion = static_cast<std::int16_t>(u16(d, 2));
  for (std::size_t i = 4; i < d.size();) {
    std::size_t end = i;
    while (end < d.size() && d[end] != 0) ++end;
    product.descriptions.emplace_back(d.begin() + static_cast<std::ptrdiff_t>(i), d.begin() + static_cast<std::ptrdiff_t>(end));
    i = end + 1;
  }
  (void)link.SendAck(gps::pid::kProductData);
  if (!link.ReceivePacket()) return std::nullopt;
  const auto& caps = link.PacketData();
  if (caps.size() % 3 != 0) return std::nullopt;
  for (std::size_t i = 0; i < caps.size(); i += 3) {
    product.capabilities.push_back({static_cast<char>(caps[i]), u16(caps, i + 1)});
  }
  return product;
}

bool Supports(const std::vector<SGpsCapability>& capabilities, char tag, int number, int dataNumber) {
  bool seen = false;
  for (const auto& c : capabilities) {
    if (dataNumber == 0) {
      if (c.tag == tag && c.number == number) return true;
      continue;
    }
    if (seen && c.tag == 'D' && c.number == dataNumber) return true;
    if (c.tag == tag && c.number == number) seen = true;
  }
  return false;
}

std::string ActiveLogSegmentName(const std::string& identifier, int segment) {
  char digits[16] = "";
  if (segment >= 0 && segment <= 999) std::snprintf(digits, sizeof digits, "%03d", segment);
  return identifier + " " + digits;
}

std::string SavedTrackIdentifier(const std::string& gpsName) {
  static const std::string kActive = "ACTIVE LOG";
  static const std::string kShort = "ACTV LOG";
  if (gpsName.rfind(kActive, 0) != 0) return gpsName;
  std::string out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = platform::cp932::find(gpsName, kActive, from);
    if (at == std::string::npos) break;
    out.append(gpsName, from, at - from);
    out += kShort;
    from = at + kActive.size();
  }
  out.append(gpsName, from, std::string::npos);
  return out;
}

bool DownloadWaypoints(CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Waypoints, false, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();
  const auto count = receiveRecordCount(link, t.command());
  if (!count) return t.failure();
  const long total = long{*count} + 1;
  for (long k = 1;; ++k) {
    if (!t.step(k, total)) return t.cancelled();
    if (!link.ReceivePacket()) return t.failure();
    if (link.PacketId() == gps::pid::kTransferComplete) {
      (void)link.SendAck(gps::pid::kTransferComplete);
      return t.completed();
    }
    // More records than announced: a receiver that never stops is not followed further.
    if (k > long{*count}) return t.failure();
    CTransfer::dispatch();
    (void)link.SendAck(gps::pid::kWaypoint);
    const auto r = gps::decodeWaypoint(link.PacketData());
    if (!r) return t.failure();
    auto point = std::make_unique<CMarkerPoint>();
    point->SetPosition(DatumConverter::SemicirclesToAngle(r->latitude), DatumConverter::SemicirclesToAngle(r->longitude),
                       Datum::Wgs84);
    point->altitude = static_cast<double>(r->altitude);
    point->symbol = -static_cast<std::int32_t>(r->symbol);
    point->name = r->ident;
    point->gpsName = r->ident;
    group.AppendWaypoint(std::move(point));
  }
}

bool DownloadTrackLogs(CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Tracks, false, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();
  const auto count = receiveRecordCount(link, t.command());
  if (!count) return t.failure();
  const long total = *count;

  gps::STrackHeaderRecord header;
  bool headerIsActive = false;
  int segment = 0;
  CTrackLog* current = nullptr;
  std::int32_t nextNumber = 0;
  for (long k = 1;; ++k) {
    if (!t.step(k, total)) return t.cancelled();
    if (!link.ReceivePacket()) return t.failure();
    const std::uint8_t id = link.PacketId();
    if (id == gps::pid::kTransferComplete) {
      (void)link.SendAck(gps::pid::kTransferComplete);
      return t.completed();
    }
    if (k > total) return t.failure();  // more records than announced
    if (id == gps::pid::kTrackHeader) {
      (void)link.SendAck(gps::pid::kTrackHeader);
      const auto h = gps::decodeTrackHeader(link.PacketData());
      if (!h) return t.failure();
      header = *h;
      headerIsActive = header.ident == "ACTIVE LOG";
      segment = 0;
    } else if (id == gps::pid::kTrackPoint) {
      (void)link.SendAck(gps::pid::kTrackPoint);
      const auto p = gps::decodeTrackPoint(link.PacketData());
      if (!p) return t.failure();
      if (p->newTrack) {
        auto log = std::make_unique<CTrackLog>();
        log->display = header.display;
        log->color = header.color;
        if (headerIsActive) {
          log->name = ActiveLogSegmentName(header.ident, segment);
          ++segment;
        } else {
          log->name = header.ident;
        }
        log->gpsName = log->name;
        current = log.get();
        group.AppendTrackLog(std::move(log));
        nextNumber = 0;
      }
      if (!current) continue;  // a point before any new-track point has no log to go to
      CTrackPoint point;
      point.SetPosition(DatumConverter::SemicirclesToAngle(p->latitude), DatumConverter::SemicirclesToAngle(p->longitude),
                        Datum::Wgs84);
      point.SetTime(TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(p->time)));
      point.altitude = static_cast<double>(p->altitude);
      point.number = nextNumber++;
      current->AppendPoint(std::move(point));
    }
    // Any other packet is ignored and not acknowledged.
  }
}

bool UploadWaypoints(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Waypoints, true, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();
  const auto& points = group.Waypoints();
  const long n = static_cast<long>(points.size());
  if (!announce(link, points.size())) return t.failure();
  long k = 0;
  for (const auto& p : points) {
    if (!t.step(++k, n)) return t.cancelled();
    gps::SWaypointRecord r;
    r.symbol = p->symbol >= 0 ? std::uint16_t{18} : static_cast<std::uint16_t>(-static_cast<std::int64_t>(p->symbol));
    r.latitude = DatumConverter::AngleToSemicircles(p->latitude);
    r.longitude = DatumConverter::AngleToSemicircles(p->longitude);
    r.altitude = narrow(p->altitude);
    r.ident = p->gpsName;
    link.SendPacket(gps::pid::kWaypoint, gps::encodeWaypoint(r));
    if (!link.ExpectAck(gps::pid::kWaypoint)) return t.failure();
  }
  if (!link.SendCommandPacket(gps::pid::kTransferComplete, t.command(), 0) ||
      !link.ExpectAck(gps::pid::kTransferComplete)) {
    return t.failure();
  }
  return t.completed();
}

bool UploadTrackLogs(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Tracks, true, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();

  std::vector<const CTrackLog*> saved;
  std::vector<const CTrackLog*> active;
  std::size_t points = 0;
  for (const auto& log : group.TrackLogs()) {
    (log->SendAsActiveLog() ? active : saved).push_back(log.get());
    points += log->Points().size();
  }
  // The active logs travel under one header, so the count holds one header for all of them.
  const std::size_t n = saved.size() + (active.empty() ? 0 : 1) + points;
  if (!announce(link, n)) return t.failure();

  const long total = static_cast<long>(n);
  long k = 0;
  auto sendPoints = [&](const CTrackLog& log) {
    bool first = true;
    for (const auto& p : log.Points()) {
      if (!t.step(++k, total)) return t.cancelled();
      link.SendPacket(gps::pid::kTrackPoint, gps::encodeTrackPoint(pointRecord(p, first)));
      first = false;
      if (!link.ExpectAck(gps::pid::kTrackPoint)) return t.failure();
    }
    return true;
  };
  auto sendHeader = [&](const gps::STrackHeaderRecord& h) {
    if (!t.step(++k, total)) return t.cancelled();
    link.SendPacket(gps::pid::kTrackHeader, gps::encodeTrackHeader(h));
    if (!link.ExpectAck(gps::pid::kTrackHeader)) return t.failure();
    return true;
  };

  // A lambda's false is the transfer's end (its message already shown).
  for (const CTrackLog* log : saved) {
    const auto display = static_cast<std::uint8_t>(log->display);
    if (!sendHeader({display, 255, SavedTrackIdentifier(log->gpsName)})) return false;
    if (!sendPoints(*log)) return false;
  }
  if (!active.empty()) {
    if (!sendHeader({1, 255, "ACTIVE LOG"})) return false;
    if (!t.step(k, total)) return t.cancelled();
    for (const CTrackLog* log : active) {
      if (!sendPoints(*log)) return false;
    }
  }
  if (!link.SendCommandPacket(gps::pid::kTransferComplete, t.command(), 0) ||
      !link.ExpectAck(gps::pid::kTransferComplete)) {
    return t.failure();
  }
  return t.completed();
}

std::string RoutePointIdent(const CMarkerPoint& point, std::int32_t routeNumber, std::size_t index) {
  if (IsValidGpsName(point.gpsName)) return point.gpsName.substr(0, gps::kMaxWaypointIdent);
  char ident[32];
  std::snprintf(ident, sizeof ident, "R%02dP%03d", static_cast<int>(routeNumber % 100), static_cast<int>((index + 1) % 1000));
  return ident;
}

bool UploadRoutes(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Routes, true, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();
  const bool links = t.routeLinks();
  std::size_t n = 0;
  for (const auto& r : group.Routes()) {
    n += 1 + r->points.size();
    if (links && !r->points.empty()) n += r->points.size() - 1;
  }
  if (!announce(link, n)) return t.failure();
  const long total = static_cast<long>(n);
  long k = 0;
  auto send = [&](std::uint8_t id, const std::vector<std::uint8_t>& data) {
    if (!t.step(++k, total)) return t.cancelled();
    link.SendPacket(id, data);
    if (!link.ExpectAck(id)) return t.failure();
    return true;
  };
  for (const auto& r : group.Routes()) {
    gps::SRouteHeaderRecord h;
    h.number = static_cast<std::uint8_t>(std::clamp<std::int32_t>(r->number, 0, 255));
    h.comment = IsValidGpsName(r->gpsName) ? r->gpsName : std::string();
    if (!send(gps::pid::kRouteHeader, gps::encodeRouteHeader(h))) return false;
    for (std::size_t i = 0; i < r->points.size(); ++i) {
      if (links && i > 0 && !send(gps::pid::kRouteLink, gps::encodeRouteLink())) return false;
      const CMarkerPoint& p = r->points[i];
      gps::SWaypointRecord w;
      w.symbol = p.symbol >= 0 ? std::uint16_t{18} : static_cast<std::uint16_t>(-static_cast<std::int64_t>(p.symbol));
      w.latitude = DatumConverter::AngleToSemicircles(p.latitude);
      w.longitude = DatumConverter::AngleToSemicircles(p.longitude);
      w.altitude = narrow(p.altitude);
      w.ident = RoutePointIdent(p, r->number, i);
      if (!send(gps::pid::kRouteWaypoint, gps::encodeWaypoint(w))) return false;
    }
  }
  if (!link.SendCommandPacket(gps::pid::kTransferComplete, t.command(), 0) ||
      !link.ExpectAck(gps::pid::kTransferComplete)) {
    return t.failure();
  }
  return t.completed();
}

bool DownloadRoutes(CTrekData& group, const SGpsPort& port, IGpsProgress& progress) {
  CTransfer t(EKind::Routes, false, progress);
  if (!t.start(port)) return false;
  GpsLink& link = t.link();
  const auto count = receiveRecordCount(link, t.command());
  if (!count) return t.failure();
  const long total = *count;
  CRoute* current = nullptr;
  for (long k = 1;; ++k) {
    if (!t.step(k, total)) return t.cancelled();
    if (!link.ReceivePacket()) return t.failure();
    const std::uint8_t id = link.PacketId();
    if (id == gps::pid::kTransferComplete) {
      (void)link.SendAck(gps::pid::kTransferComplete);
      return t.completed();
    }
    if (k > total) return t.failure();  // more records than announced
    if (id == gps::pid::kRouteHeader) {
      (void)link.SendAck(id);
      const auto h = gps::decodeRouteHeader(link.PacketData());
      if (!h) return t.failure();
      auto route = std::make_unique<CRoute>();
      route->number = h->number;
      route->gpsName = h->comment;
      route->name = h->comment.empty() ? "ROUTE " + std::to_string(h->number) : h->comment;
      current = route.get();
      group.AppendRoute(std::move(route));
    } else if (id == gps::pid::kRouteWaypoint) {
      (void)link.SendAck(id);
      const auto r = gps::decodeWaypoint(link.PacketData());
      if (!r) return t.failure();
      if (!current) continue;  // a point before any header has no route to go to
      CMarkerPoint point;
      point.SetPosition(DatumConverter::SemicirclesToAngle(r->latitude), DatumConverter::SemicirclesToAngle(r->longitude),
                        Datum::Wgs84);
      point.altitude = static_cast<double>(r->altitude);
      point.symbol = -static_cast<std::int32_t>(r->symbol);
      point.name = r->ident;
      point.gpsName = r->ident;
      current->points.push_back(std::move(point));
    } else if (id == gps::pid::kRouteLink) {
      (void)link.SendAck(id);  // the way between two points is taken as straight
    }
    // Any other packet is ignored and not acknowledged.
  }
}
