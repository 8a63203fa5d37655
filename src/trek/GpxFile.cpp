#include "trek/GpxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"
#include "trek/TrackStatistics.h"
#include "trek/TrekEditing.h"

namespace {

const QString kNs10 = QStringLiteral("http://www.topografix.com/GPX/1/0");
const QString kNs11 = QStringLiteral("http://www.topografix.com/GPX/1/1");
const QString kNsXsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

std::string format1(std::string text, const std::string& arg) {
  const std::size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, arg);
  return text;
}

std::string stemOf(const std::string& displayName) {
  std::string base = displayName;
  const std::size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base.erase(0, slash + 1);
  const std::size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  return base;
}

// Keeps at most `maxChars` characters of CP932 text, never splitting a two-byte character.
bool cutChars(std::string& cp932, std::size_t maxChars) {
  std::size_t i = 0;
  std::size_t chars = 0;
  while (i < cp932.size()) {
    if (chars == maxChars) {
      cp932.erase(i);
      return true;
    }
    const bool two = platform::cp932::isLeadByte(static_cast<std::uint8_t>(cp932[i])) && i + 1 < cp932.size();
    i += two ? 2 : 1;
    ++chars;
  }
  return false;
}

// Keeps at most `maxChars` characters (code points) of UTF-8 text; true when something was cut.
bool cutUtf8(std::string& utf8, std::size_t maxChars) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<std::uint8_t>(utf8[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (chars == maxChars) {
      utf8.erase(i);
      return true;
    }
    ++chars;
  }
  return false;
}

// Gathers what the reader met that the user must hear about.
class CNotes {
 public:
  explicit CNotes(SGpxNotes& notes) : m_notes(notes) {}

  void add(SGpxNotes::EList list, SGpxNotes::EOwner owner, const QString& name) {
    if (m_notes.listed[list][0] + m_notes.listed[list][1] + m_notes.listed[list][2] < gpx::kDetailItems) {
      SGpxNotes::SItem item{list, owner, name.toStdString(), false};
      item.longer = cutUtf8(item.name, gpx::kMaxNameChars);
      m_notes.items.push_back(std::move(item));
    }
    ++m_notes.listed[list][owner];
  }
  SGpxNotes& notes() { return m_notes; }

 private:
  SGpxNotes& m_notes;
};

// Texts of one point or track as found in the file (UTF-8).
struct SPointText {
  QString name;
  QString cmt;
  QString desc;
  QString ele;
  QString time;
};

// What became of a point's elevation text.
enum class EElevation { Height, Missing, OutOfRange };

// Elevation (metres) of an <ele> text: empty, NaN, infinities and other non-numbers are the
// receivers' "no altitude"; a number outside the heights on Earth (1e400 included) is refused.
EElevation parseElevation(const QString& text, double& metres) {
  static const QRegularExpression kDecimal(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
  metres = trek::kNoAltitude;
  const QString s = text.trimmed();
  if (!kDecimal.match(s).hasMatch()) return EElevation::Missing;
  bool ok = false;
  const double v = s.toDouble(&ok);
  if (!ok || !std::isfinite(v) || v < gpx::kMinElevation || v > gpx::kMaxElevation) return EElevation::OutOfRange;
  metres = v + 0.0;  // no "-0"
  return EElevation::Height;
}

// Reads `digits` decimal digits at `at`; false when there are not that many.
bool digitsAt(const QString& s, qsizetype& at, int digits, int& value) {
  value = 0;
  for (int i = 0; i < digits; ++i, ++at) {
    if (at >= s.size() || s.at(at) < u'0' || s.at(at) > u'9') return false;
    value = value * 10 + (s.at(at).unicode() - u'0');
  }
  return true;
}

bool charAt(const QString& s, qsizetype& at, char16_t c) {
  if (at >= s.size() || s.at(at) != QChar(c)) return false;
  ++at;
  return true;
}

// Seconds since 1970-01-01 00:00:00 UTC of an xsd:dateTime ("2024-08-01T09:30:15.5+09:00"; a
// time without zone is taken as UTC, fractions of a second are dropped), worked out without the
// machine's zone; nothing when the text is no such time or names a date that does not exist.
std::optional<std::int64_t> parseUtc(const QString& text) {
  const QString s = text.trimmed();
  qsizetype at = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digitsAt(s, at, 4, year) || !charAt(s, at, u'-') || !digitsAt(s, at, 2, month) || !charAt(s, at, u'-') ||
      !digitsAt(s, at, 2, day)) {
    return std::nullopt;
  }
  if (!charAt(s, at, u'T') && !charAt(s, at, u't') && !charAt(s, at, u' ')) return std::nullopt;
  if (!digitsAt(s, at, 2, hour) || !charAt(s, at, u':') || !digitsAt(s, at, 2, minute) || !charAt(s, at, u':') ||
      !digitsAt(s, at, 2, second)) {
    return std::nullopt;
  }
  if (charAt(s, at, u'.')) {
    const qsizetype first = at;
    while (at < s.size() && s.at(at) >= u'0' && s.at(at) <= u'9') ++at;
    if (at == first) return std::nullopt;
  }
  int offsetMinutes = 0;
  if (at < s.size() && (s.at(at) == u'Z' || s.at(at) == u'z')) {
    ++at;
  } else if (at < s.size() && (s.at(at) == u'+' || s.at(at) == u'-')) {
    const int sign = s.at(at) == u'-' ? -1 : 1;
    ++at;
    int oh = 0, om = 0;
    if (!digitsAt(s, at, 2, oh)) return std::nullopt;
    charAt(s, at, u':');
    if (!digitsAt(s, at, 2, om) || oh > 23 || om > 59) return std::nullopt;
    offsetMinutes = sign * (oh * 60 + om);
  }
  if (at != s.size()) return std::nullopt;
  const std::optional<std::int64_t> local = TrekTime::UtcSeconds(year, month, day, hour, minute, second);
  if (!local) return std::nullopt;
  return *local - std::int64_t{offsetMinutes} * 60;
}

class CGpxReader {
 public:
  CGpxReader(std::string_view bytes, std::string displayName)
      : m_xml(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))),
        m_displayName(std::move(displayName)),
        m_notes(m_result.notes) {
    m_xml.setNamespaceProcessing(true);
    m_result.notes.fileName = m_displayName;
  }

  SGpxReadResult run() {
    SGpxReadResult& r = m_result;
    if (!readDocument()) {
      SGpxReadResult refused;
      refused.error = m_error;
      return refused;
    }
    const std::string stem = platform::cp932::fromUtf8(stemOf(m_displayName)).text;
    std::string groupName = m_groupName.isEmpty() ? stem : model(m_groupName, SGpxNotes::kGroup, {}, kGroup);
    if (!m_waypoints.empty()) {
      r.waypoints = makeGroup(CTrekData::kWaypointGroup, groupName);
      for (auto& w : m_waypoints) r.waypoints->AppendWaypoint(std::move(w));
    }
    if (!m_logs.empty()) {
      r.tracks = makeGroup(CTrekData::kTrackLogGroup, groupName);
      for (auto& l : m_logs) r.tracks->AppendTrackLog(std::move(l));
    }
    if (!m_routes.empty()) {
      r.routes = makeGroup(CTrekData::kRouteGroup, groupName);
      for (auto& rt : m_routes) r.routes->AppendRoute(std::move(rt));
    }
    if (!r.waypoints && !r.tracks && !r.routes) {
      SGpxReadResult refused;
      refused.error = format1("%1 にはウェイポイントもトラックもルートもありません。", m_displayName);
      return refused;
    }
    SGpxNotice notice = GpxNotice(r.notes, true, true);
    r.notice = std::move(notice.text);
    r.noticeDetails = std::move(notice.details);
    return std::move(r);
  }

 private:
  enum ELimit { kGroup, kName, kComment };

  static std::unique_ptr<CTrekData> makeGroup(std::int32_t kind, const std::string& name) {
    auto g = std::make_unique<CTrekData>();
    g->SetKind(kind);
    g->SetGroupName(name);
    g->SetLoadSucceeded(1);
    g->SetModified(1);
    return g;
  }

  // The CP932 form of a text for the model, cut to its limit; both noted under the owner's name.
  // XML reads every line break as LF; the model's multi-line texts break lines with CR LF.
  std::string model(const QString& text, SGpxNotes::EOwner owner, const QString& ownerName, ELimit limit) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const platform::cp932::SConversion c = platform::cp932::fromUtf8(crlf.toStdString());
    std::string out = c.text;
    if (!c.ok()) m_notes.add(SGpxNotes::kReplaced, owner, ownerName);
    const std::size_t max = limit == kGroup ? gpx::kMaxGroupNameChars
                            : limit == kComment ? gpx::kMaxCommentChars
                                                : gpx::kMaxNameChars;
    if (cutChars(out, max)) m_notes.add(SGpxNotes::kCut, owner, ownerName);
    return out;
  }

  bool fail(const std::string& text) {
    if (m_error.empty()) m_error = text;
    return false;
  }

  bool xmlFailed() {
    if (m_tooMany) return fail(format1("%1 は要素が多すぎるため読み込めません。", m_displayName));
    if (!m_error.empty()) return false;
    return fail(format1("%1 はGPXファイルとして読み込めません。", m_displayName) + "\n" +
                std::to_string(m_xml.lineNumber()) + "行 " + std::to_string(m_xml.columnNumber()) +
                "桁: " + m_xml.errorString().toStdString());
  }

  // The next token, counting elements and refusing entity declarations.
  QXmlStreamReader::TokenType next() {
    const QXmlStreamReader::TokenType t = m_xml.readNext();
    if (t == QXmlStreamReader::StartElement && ++m_elements > gpx::kMaxElements) {
      m_tooMany = true;
      m_xml.raiseError(QStringLiteral("too many elements"));
    } else if (t == QXmlStreamReader::DTD && !m_xml.entityDeclarations().isEmpty()) {
      fail(format1("%1 はエンティティ宣言を含むため読み込めません。", m_displayName));
      m_xml.raiseError(QStringLiteral("entity declaration"));
    }
    return m_xml.hasError() ? QXmlStreamReader::Invalid : t;
  }

  // Moves to the next child element of the current one; false at its end or on an error.
  bool nextChild() {
    for (;;) {
      const QXmlStreamReader::TokenType t = next();
      if (t == QXmlStreamReader::StartElement) return true;
      if (t == QXmlStreamReader::EndElement || t == QXmlStreamReader::Invalid ||
          t == QXmlStreamReader::EndDocument) {
        return false;
      }
    }
  }

  void skip() {
    int depth = 1;
    while (depth > 0) {
      const QXmlStreamReader::TokenType t = next();
      if (t == QXmlStreamReader::StartElement) ++depth;
      else if (t == QXmlStreamReader::EndElement) --depth;
      else if (t == QXmlStreamReader::Invalid || t == QXmlStreamReader::EndDocument) return;
    }
  }

  // Text of the current element as it stands (spaces kept); child elements are skipped.
  QString text() {
    QString s;
    int depth = 1;
    while (depth > 0) {
      const QXmlStreamReader::TokenType t = next();
      if (t == QXmlStreamReader::StartElement) ++depth;
      else if (t == QXmlStreamReader::EndElement) --depth;
      else if (t == QXmlStreamReader::Characters && depth == 1) s += m_xml.text();
      else if (t == QXmlStreamReader::Invalid || t == QXmlStreamReader::EndDocument) break;
    }
    return s;
  }

  // True for an element of the GPX namespace of the file (or of none, as some writers do).
  bool is(const char* local) const {
    if (m_xml.name() != QLatin1String(local)) return false;
    const auto ns = m_xml.namespaceUri();
    return ns.isEmpty() || ns == m_ns;
  }

  bool readDocument() {
    while (next() != QXmlStreamReader::StartElement) {
      if (m_xml.hasError() || m_xml.atEnd()) return xmlFailed();
    }
    const auto ns = m_xml.namespaceUri();
    if (m_xml.name() != QLatin1String("gpx") || (ns != kNs10 && ns != kNs11 && !ns.isEmpty())) {
      return fail(format1("%1 はGPXファイルではありません。", m_displayName));
    }
    m_ns = ns.toString();
    int trackCount = 0;
    while (nextChild()) {
      if (is("metadata")) {
        while (nextChild()) {
          if (is("name")) m_groupName = text();
          else skip();
        }
      } else if (is("name")) {
        m_groupName = text();
      } else if (is("wpt")) {
        readWaypoint(QString());
      } else if (is("rte")) {
        readRoute();
      } else if (is("trk")) {
        readTrack(++trackCount);
      } else {
        skip();
      }
    }
    // Anything after the root (comments, or a broken tail) must still be well formed.
    while (!m_xml.atEnd() && !m_xml.hasError()) next();
    if (m_xml.hasError()) return xmlFailed();
    return true;
  }

  static bool number(const QString& s, double& v) {
    bool ok = false;
    v = s.toDouble(&ok);
    return ok && std::isfinite(v);
  }

  // Receiver count of a track point's time text; no time (and a note) when it is not a date or
  // lies outside what the receiver counts.
  TrekTime trackTime(const QString& text) {
    if (text.trimmed().isEmpty()) return TrekTime(TrekTime::kNoTime);
    const std::optional<std::int64_t> utc = parseUtc(text);
    if (!utc) {
      ++m_notes.notes().badTimes;
      return TrekTime(TrekTime::kNoTime);
    }
    const std::int64_t rs = *utc - gpx::kReceiverEpochUnix;
    const TrekTime r = rs < 0 || rs > std::numeric_limits<std::int32_t>::max()
                           ? TrekTime(TrekTime::kNoTime)
                           : TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(rs));
    if (!r.HasTime()) ++m_notes.notes().timesOutOfRange;
    return r;
  }

  // Reads the current wpt/rtept/trkpt element; false (element consumed, the point counted) when
  // the model cannot hold its position (north latitudes and east longitudes only) or its height.
  bool readPoint(bool trackPoint, double& lat, double& lon, double& ele, SPointText& p) {
    const auto attrs = m_xml.attributes();
    const bool okLat = number(attrs.value(QLatin1String("lat")).toString().trimmed(), lat);
    const bool okLon = number(attrs.value(QLatin1String("lon")).toString().trimmed(), lon);
    while (nextChild()) {
      if (is("ele")) p.ele = text();
      else if (is("time")) p.time = text();
      else if (is("name")) p.name = text();
      else if (is("cmt")) p.cmt = text();
      else if (is("desc")) p.desc = text();
      else skip();
    }
    if (m_xml.hasError()) return false;
    const int owner = trackPoint ? 1 : 0;
    // GPX longitudes run to less than 180; 180 itself is written as -180.
    if (!okLat || !okLon || lat < 0.0 || lat > 90.0 || lon < 0.0 || lon >= 180.0) {
      ++m_notes.notes().badPositions[owner];
      return false;
    }
    lat += 0.0;  // no "-0"
    lon += 0.0;
    if (parseElevation(p.ele, ele) == EElevation::OutOfRange) {
      ++m_notes.notes().badElevations[owner];
      return false;
    }
    return true;
  }

  static std::string gpsNameFrom(const std::string& name, std::size_t max) {
    if (!IsValidGpsName(name)) return {};
    return name.substr(0, max);
  }

  void readWaypoint(const QString& fallbackName) {
    if (auto w = readMarker(fallbackName)) m_waypoints.push_back(std::move(w));
  }

  // The current wpt or rtept element as a waypoint; null when it was left out.
  std::unique_ptr<CMarkerPoint> readMarker(const QString& fallbackName) {
    double lat = 0.0;
    double lon = 0.0;
    double ele = trek::kNoAltitude;
    SPointText t;
    if (!readPoint(false, lat, lon, ele, t)) return nullptr;
    auto w = std::make_unique<CMarkerPoint>();
    ++m_unnamed;
    const QString name = t.name.isEmpty() ? (fallbackName.isEmpty() ? QStringLiteral("ポイント%1").arg(m_unnamed)
                                                                      : fallbackName)
                                          : t.name;
    w->name = model(name, SGpxNotes::kWaypoint, name, kName);
    w->comment = model(t.cmt, SGpxNotes::kWaypoint, name, kComment);
    w->description1 = model(t.desc, SGpxNotes::kWaypoint, name, kName);
    w->gpsName = gpsNameFrom(w->name, trek::kMaxWaypointGpsName);
    w->altitude = ele;
    w->SetPosition(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), Datum::Wgs84);
    return w;
  }

  // A route keeps its points in order; a route without any point that can be kept is left out.
  void readRoute() {
    QString routeName, cmt, desc;
    int index = 0;
    auto route = std::make_unique<CRoute>();
    route->number = static_cast<std::int32_t>(m_routes.size());
    while (nextChild()) {
      if (is("name")) {
        routeName = text();
      } else if (is("cmt")) {
        cmt = text();
      } else if (is("desc")) {
        desc = text();
      } else if (is("number")) {
        bool ok = false;
        const int n = text().trimmed().toInt(&ok);
        if (ok && n >= 0 && n <= 255) route->number = n;
      } else if (is("rtept")) {
        ++index;
        const QString base = routeName.isEmpty() ? QStringLiteral("ルート") : routeName;
        if (auto w = readMarker(base + QStringLiteral(" %1").arg(index))) route->points.push_back(std::move(*w));
      } else {
        skip();
      }
    }
    if (route->points.empty()) return;
    const QString name = routeName.isEmpty() ? QStringLiteral("ルート%1").arg(m_routes.size() + 1) : routeName;
    route->name = model(name, SGpxNotes::kWaypoint, name, kName);
    route->gpsName = gpsNameFrom(route->name, trek::kMaxRouteGpsName);
    route->description1 = model(desc, SGpxNotes::kWaypoint, name, kName);
    route->description2 = model(cmt, SGpxNotes::kWaypoint, name, kName);
    m_routes.push_back(std::move(route));
  }

  void readTrack(int trackNumber) {
    QString name;
    QString cmt;
    QString desc;
    int segment = 0;
    while (nextChild()) {
      if (is("name")) {
        name = text();
      } else if (is("cmt")) {
        cmt = text();
      } else if (is("desc")) {
        desc = text();
      } else if (is("trkseg")) {
        auto log = std::make_unique<CTrackLog>();
        while (nextChild()) {
          if (!is("trkpt")) {
            skip();
            continue;
          }
          double lat = 0.0;
          double lon = 0.0;
          double ele = trek::kNoAltitude;
          SPointText t;
          if (!readPoint(true, lat, lon, ele, t)) continue;
          CTrackPoint p;
          p.number = static_cast<std::int32_t>(log->Points().size());
          p.altitude = ele;
          p.time = trackTime(t.time);
          p.SetPosition(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), Datum::Wgs84);
          log->AppendPoint(p);
        }
        if (log->Points().empty()) continue;
        ++segment;
        const QString base = name.isEmpty() ? QStringLiteral("トラック%1").arg(trackNumber) : name;
        log->name = model(base, SGpxNotes::kTrack, base, kName);
        if (segment > 1) log->name += " " + std::to_string(segment);
        log->gpsName = gpsNameFrom(log->name, trek::kMaxTrackLogGpsName);
        log->description1 = model(desc, SGpxNotes::kTrack, base, kName);
        log->description2 = model(cmt, SGpxNotes::kTrack, base, kName);
        m_logs.push_back(std::move(log));
      } else {
        skip();
      }
    }
  }

  SGpxReadResult m_result;
  QXmlStreamReader m_xml;
  std::string m_displayName;
  QString m_ns;
  QString m_groupName;
  std::string m_error;
  std::size_t m_elements = 0;
  bool m_tooMany = false;
  int m_unnamed = 0;
  CNotes m_notes;  // writes into m_result.notes
  std::vector<std::unique_ptr<CMarkerPoint>> m_waypoints;
  std::vector<std::unique_ptr<CTrackLog>> m_logs;
  std::vector<std::unique_ptr<CRoute>> m_routes;
};

// XML 1.0 has no place for control characters other than tab and line breaks: they are left out.
QString utf8(const std::string& cp932) {
  QString s = QString::fromStdString(platform::cp932::toUtf8Lossy(cp932));
  s.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r'; });
  return s;
}

QString decimal(double v, int digits) {
  QString s = QString::number(v, 'f', digits);
  if (s.contains(u'.')) {
    while (s.endsWith(u'0')) s.chop(1);
    if (s.endsWith(u'.')) s.chop(1);
  }
  if (s == QLatin1String("-0")) s = QStringLiteral("0");
  return s;
}

void textElement(QXmlStreamWriter& w, const char* name, const std::string& cp932) {
  if (!cp932.empty()) w.writeTextElement(QLatin1String(name), utf8(cp932));
}

// Receivers send 1.0e25 for "no altitude", and waypoints converted from older trek files carry
// 100000 for the same; neither is a height another program should plot.
constexpr double kConvertedWaypointAltitude = 100000.0;

// Heights outside the elevations the reader takes are left out too, so that a written file reads
// back whole.
bool isHeight(double alt) {
  return trek::isKnownAltitude(alt) && alt >= gpx::kMinElevation && alt <= gpx::kMaxElevation;
}

void pointStart(QXmlStreamWriter& w, const char* element, const DmsAngle& lat, const DmsAngle& lon, double alt) {
  w.writeStartElement(QLatin1String(element));
  w.writeAttribute(QStringLiteral("lat"), decimal(lat.ToDegrees(), 10));
  const double lonDegrees = lon.ToDegrees();
  QString lonText = decimal(lonDegrees, 10);
  // GPX longitudes stay below 180: one just below must not round up to it.
  if (lonDegrees < 180.0 && lonText == QLatin1String("180")) lonText = QStringLiteral("179.9999999999");
  w.writeAttribute(QStringLiteral("lon"), lonText);
  if (isHeight(alt)) w.writeTextElement(QStringLiteral("ele"), decimal(alt, 6));
}

void writeTime(QXmlStreamWriter& w, const TrekTime& t) {
  if (!t.HasTime()) return;
  const long long unix = static_cast<long long>(t.ToReceiverSeconds()) + gpx::kReceiverEpochUnix;
  const QDateTime utc = QDateTime::fromSecsSinceEpoch(unix, Qt::UTC);
  w.writeTextElement(QStringLiteral("time"), utc.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
}

void writeGpx(QIODevice& device, const CTrekData& group) {
  QXmlStreamWriter w(&device);
  w.setAutoFormatting(true);
  w.setAutoFormattingIndent(2);
  w.writeStartDocument();
  w.writeDefaultNamespace(kNs11);
  w.writeNamespace(kNsXsi, QStringLiteral("xsi"));
  w.writeStartElement(kNs11, QStringLiteral("gpx"));
  w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
  w.writeAttribute(QStringLiteral("creator"), QStringLiteral("Vantoria"));
  w.writeAttribute(kNsXsi, QStringLiteral("schemaLocation"),
                   kNs11 + QStringLiteral(" http://www.topografix.com/GPX/1/1/gpx.xsd"));
  if (!group.GroupName().empty()) {
    w.writeStartElement(QStringLiteral("metadata"));
    textElement(w, "name", group.GroupName());
    w.writeEndElement();
  }
  for (const auto& p : group.Waypoints()) {
    const bool placeholder = p->altitude == kConvertedWaypointAltitude;
    pointStart(w, "wpt", p->latitude, p->longitude, placeholder ? std::numeric_limits<double>::infinity() : p->altitude);
    textElement(w, "name", p->name);
    textElement(w, "cmt", p->comment);
    textElement(w, "desc", p->description1);
    w.writeEndElement();
  }
  for (const auto& route : group.Routes()) {
    w.writeStartElement(QStringLiteral("rte"));
    textElement(w, "name", route->name);
    textElement(w, "cmt", route->description2);
    textElement(w, "desc", route->description1);
    w.writeTextElement(QStringLiteral("number"), QString::number(route->number));
    for (const CMarkerPoint& p : route->points) {
      const bool placeholder = p.altitude == kConvertedWaypointAltitude;
      pointStart(w, "rtept", p.latitude, p.longitude, placeholder ? std::numeric_limits<double>::infinity() : p.altitude);
      textElement(w, "name", p.name);
      textElement(w, "cmt", p.comment);
      textElement(w, "desc", p.description1);
      w.writeEndElement();
    }
    w.writeEndElement();
  }
  for (const auto& log : group.TrackLogs()) {
    w.writeStartElement(QStringLiteral("trk"));
    textElement(w, "name", log->name);
    textElement(w, "cmt", log->description2);
    textElement(w, "desc", log->description1);
    w.writeStartElement(QStringLiteral("trkseg"));
    for (const CTrackPoint& p : log->Points()) {
      pointStart(w, "trkpt", p.latitude, p.longitude, p.altitude);
      writeTime(w, p.time);
      w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndElement();
  }
  w.writeEndElement();
  w.writeEndDocument();
}

std::string ownerLabel(const SGpxNotes::SItem& item, std::size_t nameChars) {
  if (item.owner == SGpxNotes::kGroup) return "グループ名";
  std::string name = item.name;
  const bool cut = cutUtf8(name, nameChars) || item.longer;
  return (item.owner == SGpxNotes::kWaypoint ? "ウェイポイント「" : "トラック「") + name + (cut ? "…" : "") + "」";
}

// One list of items under its title; true when it left items out or cut a name.
bool itemList(std::string& m, const SGpxNotes& notes, SGpxNotes::EList list, bool waypoints, bool tracks,
              std::size_t maxItems, std::size_t nameChars) {
  const auto wanted = [&](SGpxNotes::EOwner o) {
    return o == SGpxNotes::kGroup || (o == SGpxNotes::kWaypoint ? waypoints : tracks);
  };
  std::size_t total = 0;
  for (const SGpxNotes::EOwner o : {SGpxNotes::kGroup, SGpxNotes::kWaypoint, SGpxNotes::kTrack}) {
    if (wanted(o)) total += notes.listed[list][o];
  }
  if (total == 0) return false;
  m += "\n\n";
  m += list == SGpxNotes::kReplaced ? "Shift-JISで表せない文字を「?」に置き換えた項目:" : "長すぎるため切り詰めた項目:";
  bool shortened = false;
  std::size_t shown = 0;
  for (const SGpxNotes::SItem& item : notes.items) {
    if (item.list != list || !wanted(item.owner)) continue;
    if (shown == maxItems) break;
    std::string name = item.name;
    shortened = cutUtf8(name, nameChars) || shortened;
    m += "\n  " + ownerLabel(item, nameChars);
    ++shown;
  }
  if (total > shown) {
    m += "\n  ほか " + std::to_string(total - shown) + " 件";
    shortened = true;
  }
  return shortened;
}

}  // namespace

SGpxNotice GpxNotice(const SGpxNotes& notes, bool waypoints, bool tracks) {
  SGpxNotice n;
  const auto count = [&](const std::size_t (&perKind)[2]) { return (waypoints ? perKind[0] : 0) + (tracks ? perKind[1] : 0); };
  const std::size_t positions = count(notes.badPositions);
  const std::size_t elevations = count(notes.badElevations);
  const std::size_t badTimes = tracks ? notes.badTimes : 0;
  const std::size_t outOfRange = tracks ? notes.timesOutOfRange : 0;
  std::string lists;
  bool shortened = itemList(lists, notes, SGpxNotes::kReplaced, waypoints, tracks, gpx::kNoticeItems, gpx::kNoticeNameChars);
  shortened = itemList(lists, notes, SGpxNotes::kCut, waypoints, tracks, gpx::kNoticeItems, gpx::kNoticeNameChars) ||
              shortened;
  if (lists.empty() && positions == 0 && elevations == 0 && badTimes == 0 && outOfRange == 0) return n;
  std::string& m = n.text;
  m = format1("%1 を読み込みました。次の点を確認してください。", notes.fileName) + lists;
  if (positions != 0) {
    m += "\n\n緯度・経度がないか正しくない、または北緯・東経でないため読み飛ばしたポイント: " +
         std::to_string(positions) + " 個";
  }
  if (elevations != 0) {
    m += "\n\n高度が -500 m から 9000 m の範囲にないため読み飛ばしたポイント: " + std::to_string(elevations) + " 個";
  }
  if (badTimes != 0) m += "\n\n日時が正しくないため時刻なしにしたポイント: " + std::to_string(badTimes) + " 個";
  if (outOfRange != 0) {
    m += "\n\nGPSの扱える範囲外のため時刻なしにしたポイント: " + std::to_string(outOfRange) + " 個";
  }
  if (shortened) {
    std::string details;
    itemList(details, notes, SGpxNotes::kReplaced, waypoints, tracks, gpx::kDetailItems, gpx::kMaxNameChars);
    itemList(details, notes, SGpxNotes::kCut, waypoints, tracks, gpx::kDetailItems, gpx::kMaxNameChars);
    n.details = details.substr(2);  // no blank line first
  }
  return n;
}

SGpxReadResult ReadGpxBytes(std::string_view bytes, const std::string& displayName) {
  if (bytes.size() > gpx::kMaxFileBytes) {
    SGpxReadResult r;
    r.error = format1("%1 は大きすぎるため読み込めません。", displayName);
    return r;
  }
  return CGpxReader(bytes, displayName).run();
}

SGpxReadResult ReadGpxFile(const std::filesystem::path& path) {
  const std::string name = platform::pathToUtf8(path);
  QFile file(QString::fromStdString(name));
  SGpxReadResult r;
  if (!file.open(QIODevice::ReadOnly)) {
    r.error = format1("%1 を開けません。", name) + "\n" + file.errorString().toStdString();
    return r;
  }
  if (static_cast<unsigned long long>(file.size()) > gpx::kMaxFileBytes) {
    r.error = format1("%1 は大きすぎるため読み込めません。", name);
    return r;
  }
  const QByteArray data = file.read(static_cast<qint64>(gpx::kMaxFileBytes) + 1);
  return ReadGpxBytes(std::string_view(data.constData(), static_cast<std::size_t>(data.size())), name);
}

std::string WriteGpxBytes(const CTrekData& group) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  writeGpx(buffer, group);
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

STrekWriteResult WriteGpxFileAtomic(const std::filesystem::path& path, const CTrekData& group,
                                    platform::EReplace mode) {
  return WriteFileAtomic(
      path,
      [&group](QIODevice& device) {
        writeGpx(device, group);
        return true;  // a refused byte fails the file itself
      },
      mode);
}
