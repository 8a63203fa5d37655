#include "output/ui/CMapImageSaver.h"

#include <QGuiApplication>

#include "app/CVantoriaDoc.h"
#include "display/TrekOverlay.h"
#include "display/ui/CVantoriaView.h"
#include "mosaic/MosaicRenderer.h"
#include "output/CBgrImage.h"
#include "output/GeoTiff.h"
#include "output/ui/CDlgSavemapOption.h"
#include "platform/IPrompt.h"

CMapImageSaver::CMapImageSaver(CVantoriaView& view, CVantoriaDoc& doc, QWidget* dialogParent)
    : m_view(view), m_doc(doc), m_parent(dialogParent) {}

std::optional<std::int32_t> CMapImageSaver::askOptions(std::int32_t options, const map_export::STrekKinds& kinds) const {
  if (m_optionsDialog) return m_optionsDialog(options, kinds);
  CDlgSavemapOption dlg(options, kinds.trackLogs, kinds.waypoints, m_parent);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return dlg.options();
}

bool CMapImageSaver::SaveSelectionCommand(const QRect& selection) {
  const map_export::STrekKinds kinds = map_export::TrekKinds(m_doc.TrekGroups());
  // Without trek data there is nothing to ask about the overlays: the remembered grid lines
  // are drawn as they were last chosen.
  std::int32_t options = map_export::ReadOptions() & kExportGridMask;
  if (kinds.any()) {
    const std::optional<std::int32_t> chosen = askOptions(map_export::ReadOptions(), kinds);
    if (!chosen) return false;
    map_export::WriteOptions(*chosen);
    options = map_export::EffectiveOptions(*chosen);
  }

  if (m_view.seamless()) return savePlane(selection, options);

  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const QSize size = m_view.RenderForOutput(1.0);
  QGuiApplication::restoreOverrideCursor();
  bool written = false;
  if (size.isEmpty()) {
    platform::prompt().error(map_export::kFailedText);
  } else {
    const QRect area = map_export::ExportArea(selection, size);
    // The export's own cache at the sheet's resolution; the view's stays as it is.
    TrekOverlay overlay;
    const bool trek = (options & ~kExportGridMask) != 0;
    if (trek) overlay.Rebuild(m_doc.TrekGroups().Groups(), m_view.frame(), 1.0);
    // The grid's frame at the sheet's own resolution, as the picture is.
    SheetFrame unit = m_view.frame();
    unit.SetScale(1.0, 1.0);
    const map_export::SExportGrid grid{
        unit, map_export::ExportGridOptions(m_view.gridOptions(), unit, static_cast<int>(m_doc.SheetSeries()))};
    if (const std::optional<map_export::SImageFileChoice> file = map_export::ChooseImageFile()) {
      const QImage& sheet = m_view.canvas().bitmap().Surface();
      written = m_doc.SaveMapImage([&](const std::function<void(double)>& progress) {
        CBgrImage picture;
        if (!map_export::RenderMapImage(sheet, area, trek ? &overlay : nullptr, options, picture, &grid)) return false;
        const std::optional<SWorldFile> world = SheetWorldFile(m_doc.CurrentSheet(), area.topLeft());
        return map_export::WriteMapImage(file->path, file->format, picture, world, progress);
      });
      if (!written) platform::prompt().error(map_export::kFailedText);
    }
  }
  m_view.EndOutputRender();
  return written;
}

bool CMapImageSaver::savePlane(const QRect& selection, std::int32_t options) {
  mosaic::CMosaicRenderer* renderer = m_view.mosaicRenderer();
  if (!renderer || selection.isEmpty() || !m_view.hasMap()) {
    platform::prompt().error(map_export::kFailedText);
    return false;
  }
  print::SPlaneSource source;
  source.renderer = renderer;
  source.plane = renderer->plane();
  source.sheets = &m_doc.Collection().sheets(m_view.seamlessSeries());
  TrekOverlay overlay;
  const bool trek = (options & ~kExportGridMask) != 0;
  if (trek) overlay.Rebuild(m_doc.TrekGroups().Groups(), m_view.frame(), 1.0);
  // The grid on the plane at its own resolution, as the picture is.
  const SheetFrame unit = source.plane.Frame(1.0);
  const map_export::SExportGrid grid{unit, map_export::ExportGridOptions(m_view.gridOptions(), unit,
                                                                         static_cast<int>(m_view.seamlessSeries()))};
  const std::optional<map_export::SImageFileChoice> file = map_export::ChooseImageFile(true);
  if (!file) return false;
  const bool written = m_doc.SaveMapImage([&](const std::function<void(double)>& progress) {
    CBgrImage picture;
    if (!map_export::RenderPlaneImage(source, selection, trek ? &overlay : nullptr, options, picture, &grid))
      return false;
    const SWorldFile world = map_export::PlaneWorldFile(source.plane, selection.topLeft());
    if (file->geoTiff) {
      const bool ok = geotiff_export::WriteGeoTiff(file->path, picture, world, platform::EReplace::Replace).ok;
      if (progress) progress(1.0);
      return ok;
    }
    return map_export::WriteMapImage(file->path, file->format, picture, world, progress);
  });
  if (!written) platform::prompt().error(map_export::kFailedText);
  return written;
}
