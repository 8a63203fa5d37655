#pragma once
// Saving a rectangle of the open sheet as an image file at the sheet's own resolution, in the
// colours shown on screen, with the trek overlays drawn over it: the option bits, the file
// choice, and the engine that draws the area in bands of 500 rows into one 24-bit picture and
// writes it (BMP or PNG) with its world file.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "output/ImageWriter.h"
#include "output/PlanePrint.h"
#include "output/WorldFile.h"
#include "platform/AtomicFile.h"

class CBgrImage;
class CTrekGroupList;
#include "display/GridOverlay.h"
#include "geodesy/SheetFrame.h"

class TrekOverlay;

/// What is drawn over an exported map ("Settings"/"SaveMapimgOption").
enum ExportOptionFlags : std::int32_t {
  kExportTrackLines = 1,
  kExportTrackNames = 2,     ///< only together with kExportTrackLines
  kExportWaypointIcons = 4,
  kExportWaypointNames = 8,  ///< only together with kExportWaypointIcons
  kExportUtmGrid = 16,
  kExportGraticule = 32,
  kExportMagneticNorth = 64,
  kExportGridMask = kExportUtmGrid | kExportGraticule | kExportMagneticNorth,
};
inline constexpr std::int32_t kDefaultExportOptions = 15;

enum class ImageFormat : std::int32_t { Png = 0, Bmp = 1 };

namespace map_export {

inline constexpr const char* kOptionSection = "Settings";
inline constexpr const char* kOptionKey = "SaveMapimgOption";
inline constexpr const char* kFolderSection = "FileDlgSettings";
inline constexpr const char* kFolderKey = "SaveMapImg";
inline constexpr const char* kDialogTitle = "地形図の保存";
inline constexpr const char* kDialogFilter = "Windowsビットマップ形式(*.bmp)|*.bmp|PNG形式(*.png)|*.png||";
/// The seamless map's save dialog also offers a georeferenced TIFF.
inline constexpr const char* kDialogFilterWithGeoTiff =
    "Windowsビットマップ形式(*.bmp)|*.bmp|PNG形式(*.png)|*.png|GeoTIFF形式(*.tif)|*.tif||";
inline constexpr const char* kFailedText = "地形図の保存に失敗しました。";
inline constexpr const char* kProgressText = "地形図をファイルに保存しています...";
inline constexpr int kBandRows = 500;

/// The bits that count: a name bit only with its line or icon bit, the grid bits; others dropped.
[[nodiscard]] std::int32_t EffectiveOptions(std::int32_t bits);
/// The bits of the options dialog's four check boxes.
[[nodiscard]] std::int32_t OptionsFromChecks(bool trackLines, bool trackNames, bool waypointIcons, bool waypointNames);
/// The stored options, as they count.
[[nodiscard]] std::int32_t ReadOptions();
void WriteOptions(std::int32_t bits);

/// Whether the trek data hold a waypoint group / a track log group.
struct STrekKinds {
  bool waypoints = false;
  bool trackLogs = false;
  [[nodiscard]] bool any() const { return waypoints || trackLogs; }
};
[[nodiscard]] STrekKinds TrekKinds(const CTrekGroupList& treks);

/// The area to save: the selection (sheet pixels) inside the sheet, or the whole sheet without one.
[[nodiscard]] QRect ExportArea(const QRect& selection, const QSize& sheetSize);
/// The bands of at most 500 rows the area is drawn in, from the top; the last holds the rest.
[[nodiscard]] std::vector<QRect> Bands(const QRect& area);

/// The grid lines of an export: the georeference of the picture's pixels (the frame at the
/// exported resolution) and how the lines look; which of them are drawn the option bits say.
struct SExportGrid {
  SheetFrame frame;
  SGridOverlayOptions options;
};
/// The look of exported grid lines: the view's colours and datum (`base`), the spacings of the
/// sheet's own resolution of `series`, labels sized for it.
[[nodiscard]] SGridOverlayOptions ExportGridOptions(const SGridOverlayOptions& base, const SheetFrame& frame, int series);

/// Draws `area` of `sheet` (the sheet rendered at 1.0) into `out`, band by band, with the
/// overlays of `options` from `overlay` (cached at ratio 1.0; null for none) in this order:
/// waypoint icons, waypoint names, track log lines, track log names, then the grid lines of
/// `grid` (null for none), labelled inside the whole area so that no band seam cuts a label.
/// False, with `out` empty, when the area lies outside the sheet or memory runs out.
[[nodiscard]] bool RenderMapImage(const QImage& sheet, const QRect& area, const TrekOverlay* overlay,
                                  std::int32_t options, CBgrImage& out, const SExportGrid* grid = nullptr);

/// The same for a rectangle of the seamless map (plane pixels at ratio 1, the overlay cached on
/// the plane's frame at ratio 1): each band rendered from the sheets it crosses, so that only
/// the picture and one band are held; grid lines as for RenderMapImage (`grid` on the plane).
[[nodiscard]] bool RenderPlaneImage(const print::SPlaneSource& plane, const QRect& area, const TrekOverlay* overlay,
                                    std::int32_t options, CBgrImage& out, const SExportGrid* grid = nullptr);
/// The world file of a picture of the plane whose top-left pixel is plane pixel `topLeft`.
[[nodiscard]] SWorldFile PlaneWorldFile(const mosaic::SMapPlane& plane, QPoint topLeft);

/// Writes the picture as `format` and, given one, the world file and ".prj" beside it: all of
/// them or none (every earlier file of those names stays whole on a failure). With NoReplace,
/// nothing is written when any of the files exists at the moment of the rename.
[[nodiscard]] platform::SFileWriteResult WriteMapImageFiles(const std::filesystem::path& path, ImageFormat format,
                                                            const CBgrImage& image,
                                                            const std::optional<SWorldFile>& world,
                                                            const WriteProgress& progress, platform::EReplace mode);
/// WriteMapImageFiles replacing earlier files.
[[nodiscard]] bool WriteMapImage(const std::filesystem::path& path, ImageFormat format, const CBgrImage& image,
                                 const std::optional<SWorldFile>& world, const WriteProgress& progress = {});

/// A chosen file name with the extension rules applied: kept when it ends in exactly ".png" or
/// ".bmp" (letter case counts), otherwise the extension of the chosen filter (0 bitmap, 1 PNG)
/// appended.
[[nodiscard]] std::filesystem::path WithImageExtension(const std::filesystem::path& chosen, int filterIndex);
/// The format of a path's extension, lower-cased; none for another one.
[[nodiscard]] std::optional<ImageFormat> FormatOfPath(const std::filesystem::path& path);
/// Folder the file dialog starts in: "FileDlgSettings"/"SaveMapImg", else the Pictures folder
/// (or the home folder).
[[nodiscard]] std::filesystem::path InitialFolder();

struct SImageFileChoice {
  std::filesystem::path path;
  ImageFormat format = ImageFormat::Bmp;
  bool geoTiff = false;  ///< a georeferenced TIFF (".tif", offered with `withGeoTiff`)
};
/// The save dialog: extension rules, then the overwrite question for an existing file (No asks
/// again, Cancel gives up). Remembers the folder. None when cancelled.
/// `withGeoTiff`: a third filter for a georeferenced TIFF (".tif" kept, else appended with it).
[[nodiscard]] std::optional<SImageFileChoice> ChooseImageFile(bool withGeoTiff = false);

}  // namespace map_export
