#pragma once
// Rules of trek editing that need no group list: the duplicate tests, the GPS name check, and
// the checks of what the user typed into the editing windows. Typed text arrives as UTF-8 and
// is stored as CP932; text without a CP932 form is refused, never stored with replacements.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "geodesy/DmsAngle.h"
#include "geodesy/GeoPosition.h"
#include "platform/IPrompt.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"

namespace trek {

// Longest texts the editing windows take, in characters.
constexpr std::size_t kMaxWaypointGpsName = 10;
constexpr std::size_t kMaxTrackLogGpsName = 13;
constexpr std::size_t kMaxRouteGpsName = 20;  ///< the receiver's route comment
constexpr std::size_t kMaxGroupName = 30;
constexpr std::size_t kMaxComment = 5000;

// Messages and questions (UTF-8).
inline constexpr const char* kBadPositionText = "正しい経緯度を入力してください。";
inline constexpr const char* kNoPointNameText = "ポイント名を入力して下さい";
inline constexpr const char* kNoGroupNameText = "グループ名を入力して下さい。　";
inline constexpr const char* kGpsNameCharsText = "使用可能な文字 : A～Z 0～9 + - 半角スペース";

/// A message the editing window shows instead of accepting its input.
struct SInputProblem {
  std::string text;  ///< UTF-8
  platform::EPromptIcon icon = platform::EPromptIcon::Warning;
};

/// Shows the problem in a message box when there is one; true when there was none.
bool ReportInputProblem(const std::optional<SInputProblem>& problem);

}  // namespace trek

/// True when `text` is not empty and every byte is an ASCII letter, digit, space, "+" or "-".
/// Bytes of two-byte characters and half-width katakana never pass.
[[nodiscard]] bool IsValidGpsName(std::string_view text);

/// The first waypoint of `group`, other than `point` itself, at the same WGS-84 latitude and
/// longitude (exact total seconds); null when there is none.
[[nodiscard]] const CMarkerPoint* FindDuplicateWaypoint(const CMarkerPoint& point, const CTrekData& group);
/// The first track log of `group`, other than `log` itself, with as many points at the same
/// positions in the same order; two logs without points are duplicates.
[[nodiscard]] const CTrackLog* FindDuplicateTrackLog(const CTrackLog& log, const CTrekData& group);

namespace trek {

/// Degrees or minutes typed into a field: leading white space, an optional sign, then the
/// leading digits; no digits give 0. Saturates instead of overflowing.
[[nodiscard]] std::int32_t ParseIntField(std::string_view text);
/// Seconds typed into a field: the leading decimal fraction (an exponent is allowed); no
/// number gives 0.
[[nodiscard]] double ParseSecondsField(std::string_view text);
/// The angle of three coordinate fields, as typed (not normalised).
[[nodiscard]] DmsAngle ParseDmsFields(std::string_view degrees, std::string_view minutes, std::string_view seconds);

/// The datum a waypoint window starts with: the stored "MarkerDatum", anything but 0 counting
/// as Tokyo.
[[nodiscard]] Datum MarkerDatumFromSetting(std::int32_t value);

/// Number of characters of UTF-8 text (code points; a stray byte counts as one).
[[nodiscard]] std::size_t CharacterCount(std::string_view utf8);

/// Refusal for typed text without a CP932 form; `fieldLabel` names the field (UTF-8).
[[nodiscard]] std::optional<SInputProblem> CheckCp932(std::string_view utf8, std::string_view fieldLabel);
/// The CP932 bytes of text that passed CheckCp932.
[[nodiscard]] std::string ToModelText(std::string_view utf8);

/// A WGS-84 latitude and longitude.
struct SPositionWgs84 {
  DmsAngle latitude;
  DmsAngle longitude;
};

/// Comment text as stored (every line break CRLF, as in the files) from text with LF breaks;
/// CRLF pairs already present are kept, other characters untouched.
[[nodiscard]] std::string CommentToStored(std::string_view text);
/// Comment text for a text box: every CRLF becomes LF.
[[nodiscard]] std::string CommentToShown(std::string_view stored);

/// What the waypoint window holds when OK is pressed (UTF-8, as typed).
struct SWaypointInput {
  Datum datum = Datum::Tokyo;
  std::string latDegrees, latMinutes, latSeconds;
  std::string lonDegrees, lonMinutes, lonSeconds;
  std::string name;
  std::string gpsName;
  std::string description1;
  std::string description2;
  std::string comment;  ///< lines end in LF, as a text box gives them
  /// The position the six fields show, unrounded (WGS-84), while they still hold what the window
  /// put into them; the stored position is then taken from here, not from the rounded texts.
  std::optional<SPositionWgs84> exact;
};

/// The checks of the waypoint window's OK, in order: position ("正しい経緯度を入力してください。"),
/// name ("ポイント名を入力して下さい"), comment length, then text without a CP932 form.
[[nodiscard]] std::optional<SInputProblem> CheckWaypointInput(const SWaypointInput& in);
/// A new waypoint from checked input: symbol 0, reserved 0, the texts, the position through
/// SetPosition in the chosen datum.
[[nodiscard]] std::unique_ptr<CMarkerPoint> MakeWaypoint(const SWaypointInput& in);
/// Edits a waypoint from checked input: the position and the five texts; nothing else. The
/// comment is stored with CRLF line ends.
void ApplyWaypointInput(CMarkerPoint& point, const SWaypointInput& in);
/// The input a window shows for `point`, its position in `datum` as the fields' texts, the
/// comment with LF line ends.
[[nodiscard]] SWaypointInput WaypointInputFrom(const CMarkerPoint& point, Datum datum);

/// What the track log window holds when OK is pressed (UTF-8).
struct STrackLogInput {
  std::string name;
  std::string gpsName;
  std::string description1;
  std::string description2;
};
[[nodiscard]] std::optional<SInputProblem> CheckTrackLogInput(const STrackLogInput& in);
/// Writes the four texts into the log.
void ApplyTrackLogInput(CTrackLog& log, const STrackLogInput& in);

/// The new-group window's OK is enabled only while this holds: something besides leading
/// white space.
[[nodiscard]] bool GroupNameEntered(std::string_view utf8);
/// Checks of a new group name: entered, at most 30 characters, with a CP932 form.
[[nodiscard]] std::optional<SInputProblem> CheckNewGroupName(std::string_view utf8);
/// Checks of a renamed group: not empty ("グループ名を入力して下さい。　"), with a CP932 form.
[[nodiscard]] std::optional<SInputProblem> CheckGroupRename(std::string_view utf8);

/// Checks of a GPS name edited for upload: at most `maxChars` characters (10 for waypoints, 13
/// for track logs) and a CP932 form. The character rule is left to IsValidGpsName.
[[nodiscard]] std::optional<SInputProblem> CheckGpsNameEdit(std::string_view utf8, std::size_t maxChars);
/// The path with the file name's extension (from the name's own last ".") replaced by `ext`
/// (".pmd" or ".ptd"), or `ext` appended when the name has none. Folder names are never cut.
[[nodiscard]] std::filesystem::path ForceExtension(const std::filesystem::path& path, std::string_view ext);
/// True when the file name's extension (from its last ".") is ".pmd", ".ptd" or ".prd" in any case.
[[nodiscard]] bool HasTrekExtension(const std::filesystem::path& path);

/// "最大文字数 : 半角%d文字" for the GPS name window.
[[nodiscard]] std::string GpsNameMaxText(std::size_t maxChars);

}  // namespace trek
