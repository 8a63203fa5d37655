#include "output/PrintPageRenderer.h"

#include <QFontMetrics>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "geodesy/MagneticDeclination.h"
#include "maps/SheetImage.h"
#include "mosaic/MosaicRenderer.h"
#include "output/PrintGrid.h"
#include "platform/Codepage.h"
#include "trek/CTrekData.h"

namespace {

int trunc32(double v) {
  if (!(v == v) || std::abs(v) > 2e9) return 0;
  return static_cast<int>(v);
}

/// The wait cursor while the sheet is rendered, when there is a screen to show it on.
class CWaitCursor {
 public:
  CWaitCursor() : m_shown(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (m_shown) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  }
  ~CWaitCursor() {
    if (m_shown) QGuiApplication::restoreOverrideCursor();
  }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  bool m_shown;
};

}  // namespace

QRect SPrintSheet::PrintArea(bool printSelection) const {
  if (plane) return printSelection && !selection.isEmpty() ? selection : planeArea;
  if (!image) return {};
  const QRect whole(0, 0, image->width(), image->height());
  return printSelection && !selection.isEmpty() ? selection & whole : whole;
}

bool CPrintPageRenderer::BeginPrinting(PrintInfo& info, const SPrintSheet& sheet) {
  m_series = sheet.series;
  m_sheetName = sheet.sheetName;
  m_reduced = QImage();
  m_reducedFactor = 0.0;
  m_plane = sheet.plane && sheet.plane->valid() ? sheet.plane : nullptr;
  if (m_plane) {
    // The seamless map is rendered page by page in bands: nothing is prepared but the header
    // and the overlays.
    m_bitmap.Release();
    info.sourceScale = std::min(1.0, info.scaleX);
    info.sourceRect = sheet.PrintArea(info.printSelection);
    // The bar measures the ground at the printed area's middle, not the nominal pixel.
    const print::SLocalMetres local = print::LocalMetres(m_plane->plane, info.sourceRect);
    m_scaleBar.ConfigureForPrint(info.dpiRatioX, info.scaleX / local.factorAcross(),
                                 info.scaleY / local.factorDown());
  } else {
    m_bitmap.setSource(sheet.image);
    m_bitmap.setRenderSettings(sheet.render);
  }
  QSize rendered;
  if (m_plane) {
    rendered = info.sourceRect.size();
  } else if (info.scaleX >= 1.0) {
    CWaitCursor wait;
    rendered = m_bitmap.Render(1.0, sheet.series);
    info.sourceScale = 1.0;
  } else {
    rendered = m_bitmap.Render(info.scaleX, sheet.series);
    info.sourceScale = info.scaleX;
  }

  // The header is prepared even without a map: pages still carry it.
  if (!m_plane) m_scaleBar.ConfigureForPrint(info.dpiRatioX, info.scaleX, info.scaleX);
  m_headerFont = QFont(QStringLiteral("ＭＳ Ｐゴシック"));
  m_headerFont.setPixelSize(std::max(1, trunc32(12 * info.dpiRatioX)));
  m_headerFont.setWeight(QFont::Normal);
  m_headerFont.setStyleStrategy(QFont::PreferQuality);
  if (rendered.isEmpty()) {
    m_plane = nullptr;
    return false;
  }

  if (!m_plane) {
    const QSize whole = m_bitmap.sourceSize();
    info.sourceRect = QRect(QPoint(0, 0), whole);
    if (info.printSelection && !sheet.selection.isEmpty()) info.sourceRect = sheet.selection & info.sourceRect;
  }

  m_gridFrame.reset();
  m_declinationText.clear();
  if ((info.options & print::kOptGridMask) && sheet.frame) {
    SheetFrame unit = *sheet.frame;
    unit.SetScale(1.0, 1.0);
    const double year = geodesy::DecimalYearToday();
    if (info.options & print::kOptMagneticNorth)
      m_declinationText = QString::fromStdString(print::PrintDeclination(unit, info.sourceRect, year).text);
    m_gridFrame = *sheet.frame;
    m_gridFrame->SetScale(info.scaleX, info.scaleX);
    SGridOverlayOptions base = sheet.grid;
    base.decimalYear = year;
    m_gridOptions = print::PrintGridOptions(base, *m_gridFrame, info);
  }

  m_overlay.Clear();
  m_hasOverlay = false;
  if ((info.options & (print::kOptTrackLines | print::kOptWaypointIcons)) && sheet.frame && sheet.groups) {
    // Positions in printer pixels (horizontal factor on both axes; the page painter stretches
    // the vertical axis when the printer's resolutions differ).
    m_overlay.Rebuild(*sheet.groups, *sheet.frame, info.scaleX);
    m_hasOverlay = true;
  }
  return true;
}

const QImage& CPrintPageRenderer::reducedSurface(double factor) const {
  if (m_reduced.isNull() || m_reducedFactor != factor) {
    const QImage& s = m_bitmap.Surface();
    const QSize size(std::max(1, static_cast<int>(s.width() * factor)), std::max(1, static_cast<int>(s.height() * factor)));
    m_reduced = s.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_reducedFactor = factor;
  }
  return m_reduced;
}

void CPrintPageRenderer::EndPrinting() {
  m_plane = nullptr;
  m_band = QImage();
  m_reduced = QImage();
  m_reducedFactor = 0.0;
  m_bitmap.Release();
  m_overlay.Clear();
  m_hasOverlay = false;
  m_gridFrame.reset();
}

bool CPrintPageRenderer::hasMap() const { return m_plane || m_bitmap.isReady(); }

std::int64_t CPrintPageRenderer::memoryBytes() const {
  if (m_plane) return m_band.sizeInBytes();
  const QSize s = m_bitmap.Size();
  return std::int64_t{s.width()} * s.height() * 4;
}

QString CPrintPageRenderer::SheetNameText(const std::string& sheetName) {
  return QStringLiteral("[ ") + QString::fromStdString(platform::cp932::toUtf8Lossy(sheetName)) + QStringLiteral(" ]");
}

QString CPrintPageRenderer::SheetNamesText(const std::string& firstName, int others) {
  QString text = SheetNameText(firstName);
  if (others > 0) text += QStringLiteral(" ほか %1 面").arg(others);
  return text;
}

QRect CPrintPageRenderer::pageSource(const PrintInfo& info, std::uint32_t page) const {
  const QRect& r = info.drawRect;
  const int mapTop = r.top() + info.mapTop;
  const QSize mapArea(r.width(), r.bottom() + 1 - mapTop);
  if (mapArea.width() <= 0 || mapArea.height() <= 0) return {};
  return print::PageSourceRect(info.sourceRect, info.scale(), mapArea,
                               print::PagePosition(static_cast<int>(page), info.pagesAcross));
}

QRect CPrintPageRenderer::PageMapBox(const PrintInfo& info, std::uint32_t page) const {
  if (!m_plane) return {};
  return print::ScaledBox(pageSource(info, page), info.sourceScale);
}

QString CPrintPageRenderer::PageSheetNames(const PrintInfo& info, std::uint32_t page) const {
  if (!m_plane) return SheetNameText(m_sheetName);
  const std::vector<int> shown = print::SheetsShown(m_plane->plane, *m_plane->sheets, pageSource(info, page));
  if (shown.empty()) return {};
  return SheetNamesText((*m_plane->sheets)[static_cast<std::size_t>(shown.front())].record.sheetName,
                        static_cast<int>(shown.size()) - 1);
}

void CPrintPageRenderer::drawPlane(QPainter& painter, const PrintInfo& info, const QRect& src, const QRect& dest) const {
  double ratio = info.sourceScale;
  // A preview draws the page far smaller than printed: the map is rendered at about that size
  // (area averaged where the series' quality says so) rather than shrunk from print pixels.
  const double onDevice = painter.worldTransform().m11() * dest.width() / std::max(1.0, src.width() * ratio);
  if (onDevice < 0.75) ratio *= std::max(0.01, std::round(onDevice * 100) / 100);
  const QRect box = print::ScaledBox(src, ratio);
  if (box.isEmpty() || dest.isEmpty()) return;
  const int rowsPerBand = std::min(print::kPlaneBandRows, box.height());
  if (m_band.width() < box.width() || m_band.height() < rowsPerBand)
    m_band = QImage(std::max(box.width(), m_band.width()), std::max(rowsPerBand, m_band.height()), QImage::Format_RGB32);
  if (m_band.isNull()) return;
  const double f = double(dest.height()) / box.height();
  const int bottom = box.top() + box.height();
  for (int y = box.top(); y < bottom; y += rowsPerBand) {
    const int rows = std::min(rowsPerBand, bottom - y);
    const QRect band(box.left(), y, box.width(), rows);
    m_plane->renderer->RenderNow(m_band, band, band.topLeft(), ratio);
    // Bands meet on the same printer coordinate: no seam between them.
    const QRectF target(dest.left(), dest.top() + (y - box.top()) * f, dest.width(), rows * f);
    painter.drawImage(target, m_band, QRectF(0, 0, box.width(), rows));
  }
}

QString CPrintPageRenderer::PageNumberText(std::uint32_t page, std::uint32_t maxPage) {
  if (maxPage == 1) return {};
  return QStringLiteral(" (%1/%2)").arg(page).arg(maxPage);
}

void CPrintPageRenderer::drawSheet(QPainter& painter, const PrintInfo& info, const QRect& src, const QRect& dest) const {
  QRect from = src;
  if (info.sourceScale < 1.0) {
    const double s = info.sourceScale;
    from = QRect(trunc32(s * src.left()), trunc32(s * src.top()), trunc32(src.width() * s), trunc32(s * src.height()));
  }
  from &= m_bitmap.Surface().rect();
  // Sheet pixels per device pixel: 1 or more on paper; a preview may draw far smaller.
  const double onDevice = from.isEmpty() ? 1.0 : painter.worldTransform().m11() * dest.width() / from.width();
  if (onDevice < 0.75 && !from.isEmpty() && !dest.isEmpty()) {
    const double f = std::max(0.01, std::round(onDevice * 100) / 100);
    const QImage& reduced = reducedSurface(f);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(dest), reduced, QRectF(from.x() * f, from.y() * f, from.width() * f, from.height() * f));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  } else if (!from.isEmpty() && !dest.isEmpty()) {
    painter.drawImage(dest, m_bitmap.Surface(), from);
  }
}

void CPrintPageRenderer::PrintPage(QPainter& painter, const PrintInfo& info) const {
  painter.save();
  // Without it a PDF stores every picture as JPEG: thin map lines smear and the layer colours
  // drift. Flate of the few-colour map rows stays small.
  painter.setRenderHint(QPainter::LosslessImageRendering, true);
  const QRect& page = info.drawRect;
  const print::SPagePosition pos = print::PagePosition(static_cast<int>(info.currentPage), info.pagesAcross);

  // Header: scale bar, sheet name, page number from the left, texts on one bottom line.
  int x = page.left();
  const int textBottom = page.top() + trunc32(24 * info.dpiRatioY);
  if (info.options & print::kOptScaleBar) {
    painter.save();
    painter.translate(page.topLeft());
    const QRect used = m_scaleBar.Draw(painter, m_series);
    painter.restore();
    if (!used.isEmpty()) x = page.left() + trunc32(used.right() + 1 + 15 * info.dpiRatioX);
  }
  painter.setFont(m_headerFont);
  painter.setPen(Qt::black);
  painter.setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics fm(m_headerFont, painter.device());
  const auto drawHeaderText = [&](const QString& text) {
    if (text.isEmpty()) return;
    painter.drawText(x, textBottom - fm.descent(), text);
    x = trunc32(fm.horizontalAdvance(text) + 5 * info.dpiRatioX + x);
  };
  if (info.options & print::kOptSheetName) drawHeaderText(PageSheetNames(info, info.currentPage));
  if (info.options & print::kOptPageNumber) drawHeaderText(PageNumberText(info.currentPage, info.maxPage));
  if (info.options & print::kOptMagneticNorth) drawHeaderText(m_declinationText);

  // Map: this page's part of the print area.
  const int mapTop = page.top() + info.mapTop;
  const QSize mapArea(page.width(), page.bottom() + 1 - mapTop);
  if (!hasMap() || mapArea.height() <= 0) {
    painter.restore();
    return;
  }
  const QRect src = print::PageSourceRect(info.sourceRect, info.scale(), mapArea, pos);
  if (src.isEmpty()) {
    painter.restore();
    return;
  }
  const QRect dest(page.left(), mapTop, trunc32(src.width() * info.scaleX), trunc32(src.height() * info.scaleY));
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (m_plane)
    drawPlane(painter, info, src, dest);
  else
    drawSheet(painter, info, src, dest);

  // Grid lines under the trek data, labelled inside this page's map part.
  if (m_gridFrame) print::DrawPageGrid(painter, *m_gridFrame, m_gridOptions, info.options, info, src, dest);

  // Overlays in printer pixels, clipped to the map part of the page.
  if (m_hasOverlay) {
    painter.setClipRect(dest);
    painter.translate(page.left(), mapTop);
    painter.scale(1.0, info.scaleY / info.scaleX);
    const double sx = info.dpiRatioX;
    const double sy = info.dpiRatioY;
    const double r = info.scaleX;
    const print::PrintOptionFlags o = info.options;
    if (o & print::kOptTrackLines) m_overlay.DrawTrackLines(painter, src, sx, r, 0);
    if (o & print::kOptWaypointIcons) m_overlay.DrawWaypointIcons(painter, src, sx, r, 0);
    if ((o & print::kOptTrackLines) && (o & print::kOptTrackNames))
      m_overlay.DrawLabels(painter, src, sx, sy, r, 0, kTrekTrackLog);
    if ((o & print::kOptWaypointIcons) && (o & print::kOptWaypointNames))
      m_overlay.DrawLabels(painter, src, sx, sy, r, 0, kTrekWaypoint);
  }
  painter.restore();
}
