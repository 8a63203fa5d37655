#include "trek/GpxFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"
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

// What the reader met that the user must hear about, gathered into one message.
class CNotes {
 public:
  void replaced(const std::string& item) { add(m_replaced, item); }
  void cut(const std::string& item) { add(m_cut, item); }
  void skippedPoint() { ++m_skippedPoints; }
  void timeOutOfRange() { ++m_badTimes; }

  [[nodiscard]] std::string message(const std::string& fileName) const {
    if (m_replaced.empty() && m_cut.empty() && m_skippedPoints == 0 && m_badTimes == 0) return {};
    std::string m = format1("%1 を読み込みました。次の点を確認してください。", fileName);
    section(m, "Shift-JISで表せない文字を「?」に置き換えた項目:", m_replaced);
    section(m, "長すぎるため切り詰めた項目:", m_cut);
    if (m_skippedPoints != 0) {
      m += "\n\n緯度・経度がないか正しくないため読み飛ばしたポイント: " + std::to_string(m_skippedPoints) + " 個";
    }
    if (m_badTimes != 0) {
      m += "\n\nGPSの扱える範囲外のため時刻なしにしたポイント: " + std::to_string(m_badTimes) + " 個";
    }
    return m;
  }

 private:
  static constexpr std::size_t kListed = 20;
  struct SList {
    std::vector<std::string> items;
    std::size_t count = 0;
    [[nodiscard]] bool empty() const { return count == 0; }
  };
  static void add(SList& list, const std::string& item) {
    if (list.items.size() < kListed) list.items.push_back(item);
    ++list.count;
  }
  static void section(std::string& m, const char* title, const SList& list) {
    if (list.empty()) return;
    m += "\n\n";
    m += title;
    for (const std::string& item : list.items) m += "\n  " + item;
    if (list.count > list.items.size()) m += "\n  ほか " + std::to_string(list.count - list.items.size()) + " 件";
  }
  SList m_replaced;
  SList m_cut;
  std::size_t m_skippedPoints = 0;
  std::size_t m_badTimes = 0;
};

// Texts of one point or track as found in the file (UTF-8).
struct SPointText {
  QString name;
  QString cmt;
  QString desc;
  bool hasEle = false;
  double ele = 0.0;
  bool hasTime = false;
  TrekTime time{TrekTime::kNoTime};
};

class CGpxReader {
 public:
  CGpxReader(std::string_view bytes, std::string displayName)
      : m_xml(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))),
        m_displayName(std::move(displayName)) {
    m_xml.setNamespaceProcessing(true);
  }

  SGpxReadResult run() {
    SGpxReadResult r;
    if (!readDocument()) {
      r.error = m_error;
      return r;
    }
    const std::string stem = platform::cp932::fromUtf8(stemOf(m_displayName)).text;
    std::string groupName = m_groupName.isEmpty() ? stem : model(m_groupName, "グループ名", kGroup);
    if (!m_waypoints.empty()) {
      r.waypoints = makeGroup(CTrekData::kWaypointGroup, groupName);
      for (auto& w : m_waypoints) r.waypoints->AppendWaypoint(std::move(w));
    }
    if (!m_logs.empty()) {
      r.tracks = makeGroup(CTrekData::kTrackLogGroup, groupName);
      for (auto& l : m_logs) r.tracks->AppendTrackLog(std::move(l));
    }
    if (!r.waypoints && !r.tracks) {
      r.error = format1("%1 にはウェイポイントもトラックもありません。", m_displayName);
      return r;
    }
    r.notice = m_notes.message(m_displayName);
    return r;
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

  // The CP932 form of a text for the model, cut to its limit; both noted under `item`.
  // XML reads every line break as LF; the model's multi-line texts break lines with CR LF.
  std::string model(const QString& text, const std::string& item, ELimit limit) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const platform::cp932::SConversion c = platform::cp932::fromUtf8(crlf.toStdString());
    std::string out = c.text;
    if (!c.ok()) m_notes.replaced(item);
    const std::size_t max = limit == kGroup ? gpx::kMaxGroupNameChars
                            : limit == kComment ? gpx::kMaxCommentChars
                                                : gpx::kMaxNameChars;
    if (cutChars(out, max)) m_notes.cut(item);
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

  // UTC time of an xsd:dateTime; a time without zone is taken as UTC.
  TrekTime parseTime(const QString& s) {
    const QString iso = s.trimmed();
    const bool zoned = iso.endsWith(u'Z') || iso.endsWith(u'z') ||
                       (iso.size() > 6 && (iso.at(iso.size() - 6) == u'+' || iso.at(iso.size() - 6) == u'-') &&
                        iso.at(iso.size() - 3) == u':');
    QDateTime t = QDateTime::fromString(zoned ? iso : iso + u'Z', Qt::ISODateWithMs);
    if (!t.isValid()) return TrekTime(TrekTime::kNoTime);
    const long long rs = t.toSecsSinceEpoch() - gpx::kReceiverEpochUnix;
    if (rs < 0 || rs > std::numeric_limits<std::int32_t>::max()) {
      m_notes.timeOutOfRange();
      return TrekTime(TrekTime::kNoTime);
    }
    const TrekTime r = TrekTime::FromReceiverSeconds(static_cast<std::int32_t>(rs));
    if (!r.HasTime()) m_notes.timeOutOfRange();
    return r;
  }

  // Reads the current wpt/rtept/trkpt element; false (element consumed) when it has no usable position.
  bool readPoint(double& lat, double& lon, SPointText& p) {
    const auto attrs = m_xml.attributes();
    const bool okLat = number(attrs.value(QLatin1String("lat")).toString().trimmed(), lat);
    const bool okLon = number(attrs.value(QLatin1String("lon")).toString().trimmed(), lon);
    while (nextChild()) {
      if (is("ele")) p.hasEle = number(text(), p.ele);
      else if (is("time")) {
        p.time = parseTime(text());
        p.hasTime = true;
      }
      else if (is("name")) p.name = text();
      else if (is("cmt")) p.cmt = text();
      else if (is("desc")) p.desc = text();
      else skip();
    }
    if (m_xml.hasError()) return false;
    if (!okLat || !okLon || lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0) {
      m_notes.skippedPoint();
      return false;
    }
    return true;
  }

  static std::string gpsNameFrom(const std::string& name, std::size_t max) {
    if (!IsValidGpsName(name)) return {};
    return name.substr(0, max);
  }

  void readWaypoint(const QString& fallbackName) {
    double lat = 0.0;
    double lon = 0.0;
    SPointText t;
    if (!readPoint(lat, lon, t)) return;
    auto w = std::make_unique<CMarkerPoint>();
    ++m_unnamed;
    const QString name = t.name.isEmpty() ? (fallbackName.isEmpty() ? QStringLiteral("ポイント%1").arg(m_unnamed)
                                                                      : fallbackName)
                                          : t.name;
    const std::string item = "ウェイポイント「" + name.toStdString() + "」";
    w->name = model(name, item, kName);
    w->comment = model(t.cmt, item, kComment);
    w->description1 = model(t.desc, item, kName);
    w->gpsName = gpsNameFrom(w->name, trek::kMaxWaypointGpsName);
    if (t.hasEle) w->altitude = t.ele;
    w->SetPosition(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), Datum::Wgs84);
    m_waypoints.push_back(std::move(w));
  }

  void readRoute() {
    QString routeName;
    int index = 0;
    while (nextChild()) {
      if (is("name")) {
        routeName = text();
      } else if (is("rtept")) {
        ++index;
        const QString base = routeName.isEmpty() ? QStringLiteral("ルート") : routeName;
        readWaypoint(base + QStringLiteral(" %1").arg(index));
      } else {
        skip();
      }
    }
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
          SPointText t;
          if (!readPoint(lat, lon, t)) continue;
          CTrackPoint p;
          p.number = static_cast<std::int32_t>(log->Points().size());
          if (t.hasEle) p.altitude = t.ele;
          p.time = t.hasTime ? t.time : TrekTime(TrekTime::kNoTime);
          p.SetPosition(DmsAngle::FromDegrees(lat), DmsAngle::FromDegrees(lon), Datum::Wgs84);
          log->AppendPoint(p);
        }
        if (log->Points().empty()) continue;
        ++segment;
        const QString base = name.isEmpty() ? QStringLiteral("トラック%1").arg(trackNumber) : name;
        const std::string item = "トラック「" + base.toStdString() + "」";
        log->name = model(base, item, kName);
        if (segment > 1) log->name += " " + std::to_string(segment);
        log->gpsName = gpsNameFrom(log->name, trek::kMaxTrackLogGpsName);
        log->description1 = model(desc, item, kName);
        log->description2 = model(cmt, item, kName);
        m_logs.push_back(std::move(log));
      } else {
        skip();
      }
    }
  }

  QXmlStreamReader m_xml;
  std::string m_displayName;
  QString m_ns;
  QString m_groupName;
  std::string m_error;
  std::size_t m_elements = 0;
  bool m_tooMany = false;
  int m_unnamed = 0;
  CNotes m_notes;
  std::vector<std::unique_ptr<CMarkerPoint>> m_waypoints;
  std::vector<std::unique_ptr<CTrackLog>> m_logs;
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
constexpr double kNoAltitudeMagnitude = 1.0e24;
constexpr double kConvertedWaypointAltitude = 100000.0;

bool isHeight(double alt) { return std::isfinite(alt) && std::fabs(alt) < kNoAltitudeMagnitude; }

void pointStart(QXmlStreamWriter& w, const char* element, const DmsAngle& lat, const DmsAngle& lon, double alt) {
  w.writeStartElement(QLatin1String(element));
  w.writeAttribute(QStringLiteral("lat"), decimal(lat.ToDegrees(), 10));
  w.writeAttribute(QStringLiteral("lon"), decimal(lon.ToDegrees(), 10));
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

}  // namespace

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
