#include "output/MapImageExport.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <algorithm>
#include <functional>
#include <system_error>

#include "display/TrekOverlay.h"
#include "mosaic/MosaicRenderer.h"
#include "output/CBgrImage.h"
#include "platform/AtomicFile.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"

namespace map_export {

std::int32_t EffectiveOptions(std::int32_t bits) {
  std::int32_t out = 0;
  if (bits & kExportTrackLines) out |= kExportTrackLines | (bits & kExportTrackNames);
  if (bits & kExportWaypointIcons) out |= kExportWaypointIcons | (bits & kExportWaypointNames);
  return out | (bits & kExportGridMask);
}

SGridOverlayOptions ExportGridOptions(const SGridOverlayOptions& base, const SheetFrame& frame, int series) {
  SGridOverlayOptions o = base;
  o.utmSpacingM = UtmSpacingForRatio(1.0);
  o.graticuleSpacingSec = GraticuleSpacingFor(frame.latitudeStep(o.graticuleDatum).TotalSeconds(), 1.0);
  o.magneticSpacingM = 0.04 * (series == 2 ? 50000.0 : 25000.0);
  o.lineWidth = 0.0;
  o.labelPixelSize = 14;
  return o;
}

std::int32_t OptionsFromChecks(bool trackLines, bool trackNames, bool waypointIcons, bool waypointNames) {
  std::int32_t out = 0;
  if (waypointIcons) out |= kExportWaypointIcons | (waypointNames ? kExportWaypointNames : 0);
  if (trackLines) out |= kExportTrackLines | (trackNames ? kExportTrackNames : 0);
  return out;
}

std::int32_t ReadOptions() {
  return EffectiveOptions(platform::profile().readInt(kOptionSection, kOptionKey, kDefaultExportOptions));
}

void WriteOptions(std::int32_t bits) { platform::profile().writeInt(kOptionSection, kOptionKey, EffectiveOptions(bits)); }

STrekKinds TrekKinds(const CTrekGroupList& treks) {
  STrekKinds kinds;
  for (const auto& group : treks.Groups()) {
    kinds.waypoints = kinds.waypoints || group->Kind() == kTrekWaypointGroup;
    kinds.trackLogs = kinds.trackLogs || group->Kind() == kTrekTrackLogGroup;
  }
  return kinds;
}

QRect ExportArea(const QRect& selection, const QSize& sheetSize) {
  const QRect sheet(QPoint(0, 0), sheetSize);
  return selection.isNull() ? sheet : selection.normalized() & sheet;
}

std::vector<QRect> Bands(const QRect& area) {
  std::vector<QRect> bands;
  for (int y = 0; y < area.height(); y += kBandRows)
    bands.emplace_back(area.left(), area.top() + y, area.width(), std::min(kBandRows, area.height() - y));
  return bands;
}

namespace {
constexpr int kLabelReach = 32;
}  // namespace

namespace {

// Draws `area` band by band: `fill` puts the map of each band's rows into the band surface, then
// the overlays of `draw` and the grid `lines` (built for the whole area) go over it.
bool renderBands(const QRect& area, const TrekOverlay* overlay, std::int32_t draw, const CGridOverlay* lines,
                 int bandRows, const std::function<void(QImage&, const QRect&)>& fill, CBgrImage& out) {
  if (!out.Allocate(area.width(), area.height())) return false;
  // One band surface at a time: each band is complete (map and every overlay) before the next.
  QImage band(area.width(), std::min(bandRows, area.height()), QImage::Format_RGB32);
  if (band.isNull()) {
    out.release();
    return false;
  }
  for (const QRect& rows : Bands(area)) {
    fill(band, rows);
    if ((overlay && draw) || (lines && !lines->empty())) {
      QPainter painter(&band);
      painter.setClipRect(QRect(0, 0, rows.width(), rows.height()));
      // Every band is given its full rows, so that the last one draws what reaches into it alike.
      const QRect given(rows.left(), rows.top(), rows.width(), bandRows);
      if (overlay && draw) {
        if (draw & kExportWaypointIcons) overlay->DrawWaypointIcons(painter, given);
        // A name put above its flag at the area's bottom edge reaches up to about 30 rows above
        // the waypoint: the band takes the names of waypoints that far below it too, so that no
        // name is cut at a seam.
        if (draw & kExportWaypointNames) overlay->DrawWaypointLabels(painter, given.adjusted(0, 0, 0, kLabelReach), area);
        if (draw & kExportTrackLines) overlay->DrawTrackLines(painter, given);
        if (draw & kExportTrackNames) overlay->DrawTrackLabels(painter, given, area);
      }
      if (lines) lines->Paint(painter, QPointF(-rows.left(), -rows.top()));
    }
    out.CopyFrom(band, QRect(0, 0, rows.width(), rows.height()), rows.top() - area.top());
  }
  return true;
}

}  // namespace

/// The grid lines and labels of the whole area, when `grid` and the option bits ask for them.
void buildGrid(const SExportGrid* grid, std::int32_t options, const QRect& area, CGridOverlay& lines) {
  const std::int32_t gridBits = grid ? options & kExportGridMask : 0;
  if (!gridBits) return;
  SGridOverlayOptions o = grid->options;
  o.utm = (gridBits & kExportUtmGrid) != 0;
  o.graticule = (gridBits & kExportGraticule) != 0;
  o.magneticNorth = (gridBits & kExportMagneticNorth) != 0;
  lines.Build(grid->frame, area, o);
}

bool RenderMapImage(const QImage& sheet, const QRect& area, const TrekOverlay* overlay, std::int32_t options,
                    CBgrImage& out, const SExportGrid* grid) {
  out.release();
  if (sheet.isNull() || area.isEmpty() || !sheet.rect().contains(area)) return false;
  const std::int32_t draw = overlay ? EffectiveOptions(options) & ~kExportGridMask : 0;
  CGridOverlay lines;
  buildGrid(grid, options, area, lines);
  if (draw == 0 && lines.empty()) {
    if (!out.Allocate(area.width(), area.height())) return false;
    // Nothing drawn over the map: the rows go straight into the picture.
    out.CopyFrom(sheet, area);
    return true;
  }
  return renderBands(area, overlay, draw, &lines, kBandRows, [&sheet](QImage& band, const QRect& rows) {
    QPainter painter(&band);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(0, 0), sheet, rows);
  }, out);
}

bool RenderPlaneImage(const print::SPlaneSource& plane, const QRect& area, const TrekOverlay* overlay,
                      std::int32_t options, CBgrImage& out, const SExportGrid* grid) {
  out.release();
  if (!plane.valid() || area.isEmpty()) return false;
  const std::int32_t draw = overlay ? EffectiveOptions(options) & ~kExportGridMask : 0;
  CGridOverlay lines;
  buildGrid(grid, options, area, lines);
  return renderBands(area, overlay, draw, &lines, kBandRows, [&plane](QImage& band, const QRect& rows) {
    plane.renderer->RenderNow(band, rows, rows.topLeft(), 1.0);
  }, out);
}

SWorldFile PlaneWorldFile(const mosaic::SMapPlane& plane, QPoint topLeft) {
  SWorldFile w;
  w.pixelWidth = plane.lonStep / 3600.0;
  w.pixelHeight = -plane.latStep / 3600.0;
  w.centreX = plane.LongitudeAt(topLeft.x() + 0.5, 1.0) / 3600.0;
  w.centreY = plane.LatitudeAt(topLeft.y() + 0.5, 1.0) / 3600.0;
  return w;
}

platform::SFileWriteResult WriteMapImageFiles(const std::filesystem::path& path, ImageFormat format,
                                              const CBgrImage& image, const std::optional<SWorldFile>& world,
                                              const WriteProgress& progress, platform::EReplace mode) {
  // The picture and its georeference arrive together or not at all: a world file left from an
  // earlier export would place a new picture wrongly.
  platform::CAtomicFile picture(path);
  std::optional<platform::CAtomicFile> worldFile, projection;
  std::vector<platform::CAtomicFile*> files{&picture};
  if (world) {
    worldFile.emplace(WorldFilePath(path));
    projection.emplace(ProjectionFilePath(path));
    files.push_back(&*worldFile);
    files.push_back(&*projection);
  }
  for (platform::CAtomicFile* f : files)
    if (!f->open()) return f->result();
  const bool encoded = format == ImageFormat::Png ? WritePng(picture, image, progress) : WriteBmp(picture, image, progress);
  if (!encoded) picture.fail("the picture could not be encoded");
  if (world && !WriteWorldFileTexts(*worldFile, *projection, *world)) worldFile->fail("the world file could not be written");
  // A file that failed to be written fails the commit of all of them.
  if (platform::CAtomicFile::commitAll(files, mode)) return picture.result();
  for (const platform::CAtomicFile* f : files)
    if (f->failed()) return f->result();
  return picture.result();
}

bool WriteMapImage(const std::filesystem::path& path, ImageFormat format, const CBgrImage& image,
                   const std::optional<SWorldFile>& world, const WriteProgress& progress) {
  return WriteMapImageFiles(path, format, image, world, progress, platform::EReplace::Replace).ok;
}

std::filesystem::path WithImageExtension(const std::filesystem::path& chosen, int filterIndex) {
  const std::string name = chosen.filename().string();
  const std::size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  if (ext == ".png" || ext == ".bmp") return chosen;
  std::filesystem::path out = chosen;
  out += filterIndex == 1 ? ".png" : ".bmp";
  return out;
}

std::optional<ImageFormat> FormatOfPath(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return std::nullopt;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "png") return ImageFormat::Png;
  if (ext == "bmp") return ImageFormat::Bmp;
  return std::nullopt;
}

std::filesystem::path InitialFolder() {
  const std::string stored = platform::profile().readString(kFolderSection, kFolderKey, std::string());
  if (!stored.empty()) return platform::pathFromUtf8(stored);
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  const QString folder = !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
  return platform::pathFromUtf8(folder.toStdString());
}

std::optional<SImageFileChoice> ChooseImageFile(bool withGeoTiff) {
  platform::SFileDialogRequest request;
  request.save = true;
  request.overwritePrompt = false;
  request.title = kDialogTitle;
  request.filter = withGeoTiff ? kDialogFilterWithGeoTiff : kDialogFilter;
  request.initialDir = InitialFolder();
  for (;;) {
    const platform::SFileDialogResult result = platform::fileDialog().run(request);
    if (!result.accepted || result.paths.empty()) return std::nullopt;
    std::filesystem::path path = result.paths.front();
    const bool tiff = withGeoTiff && (path.extension() == ".tif" || (result.filterIndex == 2 && path.extension() != ".png" &&
                                                                     path.extension() != ".bmp"));
    if (tiff) {
      if (path.extension() != ".tif") path += ".tif";
    } else {
      path = WithImageExtension(path, result.filterIndex);
    }
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      const platform::EPromptAnswer answer = platform::prompt().ask(
          {"ファイル [ " + platform::pathToUtf8(path) + " ] は、既に存在します。\r\n上書きしますか？",
           platform::EPromptIcon::Question, platform::EPromptButtons::YesNoCancel, {}, "Vantoria"});
      if (answer == platform::EPromptAnswer::Cancel) return std::nullopt;
      if (answer == platform::EPromptAnswer::No) {
        // Ask again where the user left off.
        request.initialDir = path.parent_path();
        request.filterIndex = result.filterIndex;
        continue;
      }
    }
    SImageFileChoice choice{path, FormatOfPath(path).value_or(ImageFormat::Bmp), tiff};
    platform::profile().writeString(kFolderSection, kFolderKey, platform::pathToUtf8(path.parent_path()));
    return choice;
  }
}

}  // namespace map_export
