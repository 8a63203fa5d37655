#include "trek/TrekEditing.h"

#include <charconv>
#include <cstdio>
#include <limits>

#include "platform/Codepage.h"
#include "platform/FileLookup.h"

namespace cp932 = platform::cp932;

bool IsValidGpsName(std::string_view text) {
  if (text.empty()) return false;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != ' ' && c != '+' && c != '-') return false;
  }
  return true;
}

namespace {

bool samePosition(const DmsAngle& latA, const DmsAngle& lonA, const DmsAngle& latB, const DmsAngle& lonB) {
  return latA == latB && lonA == lonB;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view skipSpace(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  return s.substr(i);
}

}  // namespace

const CMarkerPoint* FindDuplicateWaypoint(const CMarkerPoint& point, const CTrekData& group) {
  for (const auto& wp : group.Waypoints()) {
    if (wp.get() == &point) continue;
    if (samePosition(wp->latitude, wp->longitude, point.latitude, point.longitude)) return wp.get();
  }
  return nullptr;
}

const CTrackLog* FindDuplicateTrackLog(const CTrackLog& log, const CTrekData& group) {
  const auto& mine = log.Points();
  for (const auto& other : group.TrackLogs()) {
    if (other.get() == &log) continue;
    const auto& theirs = other->Points();
    if (theirs.size() != mine.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < mine.size() && same; ++i) {
      same = samePosition(theirs[i].latitude, theirs[i].longitude, mine[i].latitude, mine[i].longitude);
    }
    if (same) return other.get();
  }
  return nullptr;
}

namespace trek {

bool ReportInputProblem(const std::optional<SInputProblem>& problem) {
  if (!problem) return true;
  platform::prompt().ask({problem->text, problem->icon, platform::EPromptButtons::Ok, {}, "Vantoria"});
  return false;
}

std::int32_t ParseIntField(std::string_view text) {
  std::string_view s = skipSpace(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (const char c : s) {
    if (c < '0' || c > '9') break;
    value = std::min<std::int64_t>(value * 10 + (c - '0'), kLimit);
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

double ParseSecondsField(std::string_view text) {
  std::string_view s = skipSpace(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  // Only a number proper: from_chars would also take "inf" and "nan".
  if (s.empty() || !((s.front() >= '0' && s.front() <= '9') || s.front() == '.')) return 0.0;
  double value = 0.0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  if (r.ec != std::errc()) return 0.0;
  return negative ? -value : value;
}

DmsAngle ParseDmsFields(std::string_view degrees, std::string_view minutes, std::string_view seconds) {
  return DmsAngle(ParseIntField(degrees), ParseIntField(minutes), ParseSecondsField(seconds));
}

Datum MarkerDatumFromSetting(std::int32_t value) { return value == 0 ? Datum::Wgs84 : Datum::Tokyo; }

std::size_t CharacterCount(std::string_view utf8) {
  std::size_t n = 0;
  for (const char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::optional<SInputProblem> CheckCp932(std::string_view utf8, std::string_view fieldLabel) {
  if (cp932::representable(utf8)) return std::nullopt;
  return SInputProblem{"「" + std::string(fieldLabel) +
                           "」に、保存できない文字が含まれています。\r\n"
                           "シフトJISで表せない文字は使用できません。",
                       platform::EPromptIcon::Warning};
}

std::string ToModelText(std::string_view utf8) { return cp932::fromUtf8(utf8).text; }

namespace {

struct SLabelledText {
  const std::string* text;
  const char* label;
};

template <std::size_t N>
std::optional<SInputProblem> firstNotCp932(const SLabelledText (&fields)[N]) {
  for (const auto& f : fields) {
    if (auto p = CheckCp932(*f.text, f.label)) return p;
  }
  return std::nullopt;
}

std::optional<SInputProblem> tooLong(std::string_view utf8, std::size_t maxChars, const char* what) {
  if (CharacterCount(utf8) <= maxChars) return std::nullopt;
  return SInputProblem{std::string(what) + "は" + std::to_string(maxChars) + "文字以内で入力して下さい。",
                       platform::EPromptIcon::Warning};
}

}  // namespace

std::optional<SInputProblem> CheckWaypointInput(const SWaypointInput& in) {
  const DmsAngle lat = ParseDmsFields(in.latDegrees, in.latMinutes, in.latSeconds);
  const DmsAngle lon = ParseDmsFields(in.lonDegrees, in.lonMinutes, in.lonSeconds);
  if (!lat.IsValid(kAngleLatitude) || !lon.IsValid(kAngleLongitude)) {
    return SInputProblem{kBadPositionText, platform::EPromptIcon::Warning};
  }
  if (in.name.empty()) return SInputProblem{kNoPointNameText, platform::EPromptIcon::Warning};
  if (auto p = tooLong(in.comment, kMaxComment, "コメント")) return p;
  const SLabelledText fields[] = {{&in.name, "ポイントの名前"},   {&in.gpsName, "GPS表示名"},
                                  {&in.description1, "説明１"}, {&in.description2, "説明２"},
                                  {&in.comment, "コメント"}};
  return firstNotCp932(fields);
}

std::string CommentToStored(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

std::string CommentToShown(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') continue;
    out += stored[i];
  }
  return out;
}

void ApplyWaypointInput(CMarkerPoint& point, const SWaypointInput& in) {
  if (in.exact) {
    point.SetPosition(in.exact->latitude, in.exact->longitude, Datum::Wgs84);
  } else {
    point.SetPosition(ParseDmsFields(in.latDegrees, in.latMinutes, in.latSeconds),
                      ParseDmsFields(in.lonDegrees, in.lonMinutes, in.lonSeconds), in.datum);
  }
  point.name = ToModelText(in.name);
  point.gpsName = ToModelText(in.gpsName);
  point.description1 = ToModelText(in.description1);
  point.description2 = ToModelText(in.description2);
  point.comment = ToModelText(CommentToStored(in.comment));
}

std::unique_ptr<CMarkerPoint> MakeWaypoint(const SWaypointInput& in) {
  auto point = std::make_unique<CMarkerPoint>();
  point->symbol = 0;
  point->reserved = 0;
  ApplyWaypointInput(*point, in);
  return point;
}

SWaypointInput WaypointInputFrom(const CMarkerPoint& point, Datum datum) {
  SWaypointInput in;
  in.datum = datum;
  DmsAngle lat = point.latitude;
  DmsAngle lon = point.longitude;
  point.GetPosition(lat, lon, datum);
  const SDmsFields la = lat.FormatFields();
  const SDmsFields lo = lon.FormatFields();
  in.latDegrees = la.degrees;
  in.latMinutes = la.minutes;
  in.latSeconds = la.seconds;
  in.lonDegrees = lo.degrees;
  in.lonMinutes = lo.minutes;
  in.lonSeconds = lo.seconds;
  in.name = cp932::toUtf8Lossy(point.name);
  in.gpsName = cp932::toUtf8Lossy(point.gpsName);
  in.description1 = cp932::toUtf8Lossy(point.description1);
  in.description2 = cp932::toUtf8Lossy(point.description2);
  in.comment = CommentToShown(cp932::toUtf8Lossy(point.comment));
  return in;
}

std::optional<SInputProblem> CheckTrackLogInput(const STrackLogInput& in) {
  const SLabelledText fields[] = {{&in.name, "トラックログの名前"},
                                  {&in.gpsName, "GPS表示名"},
                                  {&in.description1, "説明１"},
                                  {&in.description2, "説明２"}};
  return firstNotCp932(fields);
}

void ApplyTrackLogInput(CTrackLog& log, const STrackLogInput& in) {
  log.name = ToModelText(in.name);
  log.gpsName = ToModelText(in.gpsName);
  log.description1 = ToModelText(in.description1);
  log.description2 = ToModelText(in.description2);
}

bool GroupNameEntered(std::string_view utf8) {
  // The ideographic space (U+3000) is white space to a Japanese user as well.
  std::string_view s = utf8;
  for (;;) {
    s = skipSpace(s);
    if (s.substr(0, 3) != "\xE3\x80\x80") break;
    s.remove_prefix(3);
  }
  return !s.empty();
}

std::optional<SInputProblem> CheckNewGroupName(std::string_view utf8) {
  if (!GroupNameEntered(utf8)) return SInputProblem{kNoGroupNameText, platform::EPromptIcon::Information};
  if (auto p = tooLong(utf8, kMaxGroupName, "グループ名")) return p;
  return CheckCp932(utf8, "グループ名");
}

std::optional<SInputProblem> CheckGroupRename(std::string_view utf8) {
  if (utf8.empty()) return SInputProblem{kNoGroupNameText, platform::EPromptIcon::Information};
  return CheckCp932(utf8, "グループ名");
}

std::optional<SInputProblem> CheckGpsNameEdit(std::string_view utf8, std::size_t maxChars) {
  if (auto p = tooLong(utf8, maxChars, "GPS上で使用する名前")) return p;
  return CheckCp932(utf8, "GPS表示名");
}

std::string GpsNameMaxText(std::size_t maxChars) {
  return "最大文字数 : 半角" + std::to_string(maxChars) + "文字";
}

}  // namespace trek

namespace trek {

namespace {

// The file name as the platform's 8-bit form, so "." is found byte-wise.
std::string fileNameText(const std::filesystem::path& path) { return platform::pathToUtf8(path.filename()); }

}  // namespace

std::filesystem::path ForceExtension(const std::filesystem::path& path, std::string_view ext) {
  std::string name = fileNameText(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  name += ext;
  return path.parent_path() / platform::pathFromUtf8(name);
}

bool HasTrekExtension(const std::filesystem::path& path) {
  const std::string name = fileNameText(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext == ".pmd" || ext == ".ptd" || ext == ".prd";
}

}  // namespace trek
