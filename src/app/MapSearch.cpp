#include "app/MapSearch.h"

#include <algorithm>
#include <array>

#include "geodesy/DatumConverter.h"
#include "mosaic/MapCollection.h"
#include "platform/Codepage.h"
#include "trek/CTrekData.h"

namespace search {

namespace {

// Full-width katakana for U+FF61..U+FF9F.
constexpr std::array<char32_t, 63> kHalfKana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

std::u32string decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + std::size_t(len) <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto t = static_cast<unsigned char>(s[i + std::size_t(k)]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    if (!ok) {
      out.push_back(b);
      ++i;
      continue;
    }
    out.push_back(c);
    i += std::size_t(len);
  }
  return out;
}

bool voiceable(char32_t k) {
  return (k >= 0x30AB && k <= 0x30C1 && (k - 0x30AB) % 2 == 0) ||  // カ..チ
         k == 0x30C4 || k == 0x30C6 || k == 0x30C8 ||                 // ツ テ ト
         (k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0);       // ハ..ホ
}

bool semiVoiceable(char32_t k) { return k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0; }

int rankOf(const std::u32string& name, const std::u32string& q) {
  if (name == q) return 0;
  if (name.starts_with(q)) return 1;
  return 2;
}

struct SMatch {
  bool found = false;
  int rank = 3;
  const char* field = "";
};

// The first field (in the order given) that holds the query; the name decides the rank.
SMatch match(const std::u32string& q, std::initializer_list<std::pair<const char*, const std::string*>> fields) {
  SMatch m;
  for (const auto& [field, cp932] : fields) {
    if (cp932->empty()) continue;
    const std::u32string text = Fold(platform::cp932::toUtf8Lossy(*cp932));
    if (text.find(q) == std::u32string::npos) continue;
    m.found = true;
    m.field = field;
    m.rank = std::string_view(field) == "name" || std::string_view(field) == "sheetName" ? rankOf(text, q) : 3;
    return m;
  }
  return m;
}

}  // namespace

std::u32string Fold(std::string_view utf8) {
  const std::u32string in = decode(utf8);
  std::u32string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII
    else if (c == 0x3000) c = U' ';
    if (c >= U'A' && c <= U'Z') c += 0x20;
    if (c >= 0xFF61 && c <= 0xFF9F) {
      c = kHalfKana[c - 0xFF61];
      const char32_t next = i + 1 < in.size() ? in[i + 1] : 0;
      if (next == 0xFF9E && (voiceable(c) || c == 0x30A6)) {
        c = c == 0x30A6 ? char32_t(0x30F4) : c + 1;
        ++i;
      } else if (next == 0xFF9F && semiVoiceable(c)) {
        c += 2;
        ++i;
      }
    }
    out.push_back(c);
  }
  return out;
}

const char* KindName(EResultKind kind) {
  switch (kind) {
    case EResultKind::Waypoint: return "waypoint";
    case EResultKind::TrackLog: return "trackLog";
    case EResultKind::Route: return "route";
    case EResultKind::Sheet: return "sheet";
  }
  return "";
}

std::vector<SResult> Find(std::string_view queryUtf8, std::span<const CTrekData* const> groups,
                          const mosaic::CMapCollection* collection, std::size_t limit) {
  std::u32string q = Fold(queryUtf8);
  const auto blank = [](char32_t c) { return c == U' ' || c == U'\t'; };
  while (!q.empty() && blank(q.back())) q.pop_back();
  q.erase(q.begin(), std::find_if_not(q.begin(), q.end(), blank));
  std::vector<SResult> out;
  if (q.empty()) return out;

  std::vector<SResult> trek;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const CTrekData& group = *groups[g];
    const std::string where = platform::cp932::toUtf8Lossy(group.GroupName());
    for (std::size_t i = 0; i < group.Waypoints().size(); ++i) {
      const CMarkerPoint& w = *group.Waypoints()[i];
      const SMatch m = match(q, {{"name", &w.name}, {"gpsName", &w.gpsName}, {"description1", &w.description1},
                                 {"description2", &w.description2}, {"comment", &w.comment}});
      if (!m.found) continue;
      SResult r;
      r.kind = EResultKind::Waypoint;
      r.name = platform::cp932::toUtf8Lossy(w.name);
      r.where = where;
      r.matched = m.field;
      r.group = int(g);
      r.item = int(i);
      r.hasPosition = true;
      r.latitude = w.latitude;
      r.longitude = w.longitude;
      r.rank = m.rank;
      trek.push_back(std::move(r));
    }
    for (std::size_t i = 0; i < group.TrackLogs().size(); ++i) {
      const CTrackLog& l = *group.TrackLogs()[i];
      const SMatch m = match(q, {{"name", &l.name}, {"gpsName", &l.gpsName}, {"description1", &l.description1},
                                 {"description2", &l.description2}});
      if (!m.found) continue;
      SResult r;
      r.kind = EResultKind::TrackLog;
      r.name = platform::cp932::toUtf8Lossy(l.name);
      r.where = where;
      r.matched = m.field;
      r.group = int(g);
      r.item = int(i);
      if (!l.Points().empty()) {
        r.hasPosition = true;
        r.latitude = l.Points().front().latitude;
        r.longitude = l.Points().front().longitude;
      }
      r.rank = m.rank;
      trek.push_back(std::move(r));
    }
    for (std::size_t i = 0; i < group.Routes().size(); ++i) {
      const CRoute& rt = *group.Routes()[i];
      const SMatch m = match(q, {{"name", &rt.name}, {"gpsName", &rt.gpsName}, {"description1", &rt.description1},
                                 {"description2", &rt.description2}});
      if (!m.found) continue;
      SResult r;
      r.kind = EResultKind::Route;
      r.name = platform::cp932::toUtf8Lossy(rt.name);
      r.where = where;
      r.matched = m.field;
      r.group = int(g);
      r.item = int(i);
      if (!rt.points.empty()) {
        r.hasPosition = true;
        r.latitude = rt.points.front().latitude;
        r.longitude = rt.points.front().longitude;
      }
      r.rank = m.rank;
      trek.push_back(std::move(r));
    }
  }
  // Kinds keep their order (waypoints first); within a kind the better match first.
  std::stable_sort(trek.begin(), trek.end(), [](const SResult& a, const SResult& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.rank < b.rank;
  });
  for (auto& r : trek) {
    if (out.size() >= limit) return out;
    out.push_back(std::move(r));
  }

  if (!collection) return out;
  std::vector<SResult> sheets;
  for (const MapSeries series : collection->seriesPresent()) {
    const auto& list = collection->sheets(series);
    for (std::size_t i = 0; i < list.size(); ++i) {
      const mosaic::SCollectionSheet& s = list[i];
      const auto& folders = collection->folders();
      const std::string* areaName = nullptr;
      if (s.folder >= 0 && std::size_t(s.folder) < folders.size()) {
        const auto& areas = folders[std::size_t(s.folder)]->catalogue.areas();
        if (s.area >= 0 && std::size_t(s.area) < areas.size()) areaName = &areas[std::size_t(s.area)].areaName;
      }
      static const std::string kNone;
      const SMatch m = match(q, {{"sheetName", &s.record.sheetName}, {"areaName", areaName ? areaName : &kNone}});
      if (!m.found) continue;
      SResult r;
      r.kind = EResultKind::Sheet;
      r.name = platform::cp932::toUtf8Lossy(s.record.sheetName);
      r.where = areaName ? platform::cp932::toUtf8Lossy(*areaName) : std::string();
      r.matched = m.field;
      r.series = series;
      r.sheet = int(i);
      r.mesh = s.record.meshCode;
      r.rank = m.rank;
      // The frame's centre, taken to WGS-84 like every position shown.
      const SDatumShiftResult c = DatumConverter::TokyoToWgs84(
          DmsAngle::FromDegrees((s.frame.north + s.frame.south) / 7200.0),
          DmsAngle::FromDegrees((s.frame.west + s.frame.east) / 7200.0), 0.0);
      r.hasPosition = true;
      r.latitude = c.latitude;
      r.longitude = c.longitude;
      sheets.push_back(std::move(r));
    }
  }
  std::stable_sort(sheets.begin(), sheets.end(), [](const SResult& a, const SResult& b) { return a.rank < b.rank; });
  for (auto& r : sheets) {
    if (out.size() >= limit) break;
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace search
