#pragma once
// The four transfers with a GPS receiver, each one synchronous call: open the port, identify
// the receiver, move the records, tell the user how it ended, close the port.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gps/GpsLink.h"

class CMarkerPoint;
class CTrekData;

/// One entry of the receiver's capability list, e.g. A 100 or D 108.
struct SGpsCapability {
  char tag = 0;
  std::uint16_t number = 0;
  bool operator==(const SGpsCapability&) const = default;
};

/// What the receiver says about itself.
struct SGpsProduct {
  std::uint16_t productId = 0;
  std::int16_t softwareVersion = 0;        ///< version x 100
  std::vector<std::string> descriptions;   ///< code page 932 bytes
  std::vector<SGpsCapability> capabilities;
};

/// The progress window of a transfer, as the transfer sees it.
class IGpsProgress {
 public:
  virtual ~IGpsProgress() = default;
  /// Shows the window with its activity text (UTF-8).
  virtual void Show(const std::string& activity) = 0;
  /// Reports the fraction done (0..1); false once the user has asked to stop.
  [[nodiscard]] virtual bool Update(double fraction) = 0;
  /// Removes the window.
  virtual void Hide() = 0;
};

/// The port of a transfer: "COM<number>" through the profile, or a device path given directly.
struct SGpsPort {
  SGpsPort(int portNumber) : number(portNumber) {}  // NOLINT: a port number is a port
  SGpsPort(std::string devicePath) : device(std::move(devicePath)) {}  // NOLINT
  SGpsPort(const char* devicePath) : device(devicePath) {}  // NOLINT
  int number = 0;
  std::string device;
};

/// The activity texts of the progress window (UTF-8).
namespace gpstext {
inline constexpr const char* kDownloadingWaypoints = "ウェイポイントデータをダウンロードしています...";
inline constexpr const char* kDownloadingTracks = "トラックログデータをダウンロードしています...";
inline constexpr const char* kUploadingWaypoints = "ウェイポイントデータをアップロードしています...";
inline constexpr const char* kUploadingTracks = "トラックログデータをアップロードしています...";
inline constexpr const char* kDownloadingRoutes = "ルートデータをダウンロードしています...";
inline constexpr const char* kUploadingRoutes = "ルートデータをアップロードしています...";
inline constexpr const char* kOpenFailed =
    "通信ポートのオープンに失敗しました\r\n通信ポートが使用可能かどうか確認して下さい。";
inline constexpr const char* kFailed =
    "GPSレシーバとの通信に失敗しました。以下の原因が考えられます。\r\n"
    "・通信ケーブルが正しく接続されていない。\r\n"
    "・GPSレシーバの電源がOFFになっている。\r\n"
    "・GPSレシーバで通信フォーマットの設定が\"GARMIN\"になっていない。";
inline constexpr const char* kUnsupported =
    "Vantoriaは、このGPSレシーバとの通信をサポートしていません。\r\n詳しくはヘルプをご覧下さい";
inline constexpr const char* kCancelled = "GPSレシーバとの通信は、キャンセルされました。";
inline constexpr const char* kReceived = "トレックデータの受信が完了しました。";
inline constexpr const char* kSent = "トレックデータの送信が完了しました。";
}  // namespace gpstext

/// Product request on an open link: product id, software version, descriptions, then the
/// capability list. None on any failure (a receiver without a capability list times out).
[[nodiscard]] std::optional<SGpsProduct> RequestProduct(GpsLink& link);

/// dataNumber 0: whether an entry `tag` `number` exists. Otherwise (tag 'A'): whether a 'D'
/// `dataNumber` follows, anywhere later, the entry 'A' `number`.
[[nodiscard]] bool Supports(const std::vector<SGpsCapability>& capabilities, char tag, int number, int dataNumber);

/// Downloads append to `group` as records arrive; what arrived before a failure or a cancel
/// stays there. Uploads send the group's waypoints or track logs in list order. Every call
/// tells the user the outcome through the message prompt and closes the port before it
/// returns; true only for a completed transfer.
bool DownloadWaypoints(CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
bool DownloadTrackLogs(CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
bool UploadWaypoints(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
bool UploadTrackLogs(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
/// Routes with the route transfer protocol: a header (type 201: number and the GPS name as its
/// comment) and each point as a waypoint record, with a link record between points when the
/// receiver reports A201, without under A200. Downloaded routes are appended to `group`.
bool UploadRoutes(const CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
bool DownloadRoutes(CTrekData& group, const SGpsPort& port, IGpsProgress& progress);
/// The identifier a route point is sent under: its GPS name when that is valid, else "R<nn>P<nnn>"
/// from the route number and the point's place (from 1).
[[nodiscard]] std::string RoutePointIdent(const CMarkerPoint& point, std::int32_t routeNumber, std::size_t index);

/// Name of segment `segment` of the receiver's active log: "<identifier> 000".."999"; the
/// number part is empty outside 0..999.
[[nodiscard]] std::string ActiveLogSegmentName(const std::string& identifier, int segment);
/// The identifier a saved track log is sent under: a name that begins with "ACTIVE LOG" has
/// every "ACTIVE LOG" replaced by "ACTV LOG" (the receiver keeps that name for itself).
[[nodiscard]] std::string SavedTrackIdentifier(const std::string& gpsName);
