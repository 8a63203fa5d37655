#include "tiles/ui/CDlgExportTiles.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "output/MapImageExport.h"
#include "platform/FileLookup.h"
#include "platform/IFileDialog.h"
#include "platform/IPrompt.h"
#include "trek/CTrekData.h"

namespace {
enum EArea { kSelection, kWindow, kTrack, kAll };

QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

CDlgExportTiles::CDlgExportTiles(STileExportInput input, QWidget* parent) : QDialog(parent), m_in(std::move(input)) {
  setObjectName(QStringLiteral("dlgExportTiles"));
  setWindowTitle(QStringLiteral("地図を書き出す"));
  setModal(true);

  auto* areaBox = new QGroupBox(QStringLiteral("書き出す範囲"), this);
  auto* areaLay = new QGridLayout(areaBox);
  m_areas = new QButtonGroup(this);
  const struct {
    EArea id;
    const char* text;
    const char* name;
    bool enabled;
  } areas[] = {{kSelection, "選択範囲(&S)", "areaSelection", m_in.selection.has_value()},
               {kWindow, "ウィンドウの範囲(&W)", "areaWindow", m_in.window.has_value()},
               {kTrack, "トラックログの周囲(&T)", "areaTrack", m_in.track != nullptr},
               {kAll, "開いている地形図すべて(&A)", "areaAll", true}};
  int row = 0;
  for (const auto& a : areas) {
    auto* b = new QRadioButton(QString::fromUtf8(a.text), areaBox);
    b->setObjectName(QLatin1String(a.name));
    b->setEnabled(a.enabled);
    m_areas->addButton(b, a.id);
    areaLay->addWidget(b, row++, 0);
  }
  m_corridor = new QDoubleSpinBox(areaBox);
  m_corridor->setObjectName(QStringLiteral("corridorKm"));
  m_corridor->setRange(0.1, 50.0);
  m_corridor->setDecimals(1);
  m_corridor->setValue(1.0);
  m_corridor->setSuffix(QStringLiteral(" km 幅"));
  areaLay->addWidget(m_corridor, kTrack, 1);
  for (int id : {kSelection, kTrack, kWindow, kAll})
    if (m_areas->button(id)->isEnabled()) {
      m_areas->button(id)->setChecked(true);
      break;
    }

  auto* formatBox = new QGroupBox(QStringLiteral("形式"), this);
  auto* form = new QFormLayout(formatBox);
  m_format = new QComboBox(formatBox);
  m_format->setObjectName(QStringLiteral("format"));
  m_format->addItem(QStringLiteral("MBTiles (スマートフォンの地図アプリ、GIS)"));
  m_format->addItem(QStringLiteral("Garmin カスタムマップ (KMZ)"));
  m_format->addItem(QStringLiteral("GeoPackage (GIS、日本測地系のまま)"));
  form->addRow(QStringLiteral("形式(&F)"), m_format);
  const double lat = m_in.window ? (m_in.window->north + m_in.window->south) / 2 : 35.5;
  const int native = tiles::NativeZoom(m_in.series, lat);
  m_minZoom = new QSpinBox(formatBox);
  m_minZoom->setObjectName(QStringLiteral("minZoom"));
  m_minZoom->setRange(0, tiles::kMaxZoom);
  m_minZoom->setValue(std::min(10, native));
  m_maxZoom = new QSpinBox(formatBox);
  m_maxZoom->setObjectName(QStringLiteral("maxZoom"));
  m_maxZoom->setRange(0, tiles::kMaxZoom);
  m_maxZoom->setValue(native);
  auto* zoomRow = new QHBoxLayout;
  zoomRow->addWidget(m_minZoom);
  zoomRow->addWidget(new QLabel(QStringLiteral("から"), formatBox));
  zoomRow->addWidget(m_maxZoom);
  zoomRow->addStretch(1);
  auto* zoomLabel = new QLabel(QStringLiteral("ズームレベル(&Z)"), formatBox);
  zoomLabel->setBuddy(m_minZoom);
  form->addRow(zoomLabel, zoomRow);
  m_image = new QComboBox(formatBox);
  m_image->setObjectName(QStringLiteral("imageFormat"));
  m_image->addItem(QStringLiteral("PNG"));
  m_image->addItem(QStringLiteral("JPEG"));
  m_quality = new QSpinBox(formatBox);
  m_quality->setObjectName(QStringLiteral("jpegQuality"));
  m_quality->setRange(10, 100);
  m_quality->setValue(85);
  auto* imageRow = new QHBoxLayout;
  imageRow->addWidget(m_image);
  imageRow->addWidget(new QLabel(QStringLiteral("JPEG の画質"), formatBox));
  imageRow->addWidget(m_quality);
  imageRow->addStretch(1);
  auto* imageLabel = new QLabel(QStringLiteral("画像(&I)"), formatBox);
  imageLabel->setBuddy(m_image);
  form->addRow(imageLabel, imageRow);
  m_metres = new QDoubleSpinBox(formatBox);
  m_metres->setObjectName(QStringLiteral("pixelMetres"));
  m_metres->setRange(0.5, 1000.0);
  m_metres->setDecimals(1);
  m_metres->setValue(mosaic::NominalPixelMetres(m_in.series));
  m_metres->setSuffix(QStringLiteral(" m / ピクセル"));
  form->addRow(QStringLiteral("解像度(&R)"), m_metres);
  m_limit = new QComboBox(formatBox);
  m_limit->setObjectName(QStringLiteral("imageLimit"));
  m_limit->addItem(QStringLiteral("100 枚 (多くの機器)"), 100);
  m_limit->addItem(QStringLiteral("500 枚 (一部の機器)"), 500);
  form->addRow(QStringLiteral("機器の画像数の上限(&L)"), m_limit);

  // What the map export draws over the map, in its words and bits.
  if (m_in.treks)
    for (const auto& g : *m_in.treks) {
      if (!g) continue;
      m_hasWaypoints = m_hasWaypoints || (g->Kind() == CTrekData::kWaypointGroup && !g->Waypoints().empty());
      m_hasTrackLogs = m_hasTrackLogs || (g->Kind() == CTrekData::kTrackLogGroup && !g->TrackLogs().empty());
    }
  auto* drawBox = new QGroupBox(QStringLiteral("地図に描くもの"), this);
  auto* drawLay = new QGridLayout(drawBox);
  const std::int32_t bits = tiles::ReadTileOverlayOptions();
  int drawRow = 0;
  const auto check = [&](const char* text, const char* name, std::int32_t bit, int column) {
    auto* b = new QCheckBox(QString::fromUtf8(text), drawBox);
    b->setObjectName(QLatin1String(name));
    b->setChecked((bits & bit) != 0);
    drawLay->addWidget(b, column == 0 ? drawRow : drawRow++, column);
    connect(b, &QCheckBox::toggled, this, &CDlgExportTiles::replan);
    return b;
  };
  m_trackLines = check("トラックログライン(&K)", "trackLines", kExportTrackLines, 0);
  m_utmGrid = check("UTMグリッド(&U)", "utmGrid", kExportUtmGrid, 1);
  m_trackNames = check("トラックログ名(&O)", "trackNames", kExportTrackNames, 0);
  m_graticule = check("緯度経度線(&G)", "graticule", kExportGraticule, 1);
  m_waypointIcons = check("ウェイポイントアイコン(&P)", "waypointIcons", kExportWaypointIcons, 0);
  m_magneticNorth = check("磁北線(&N)", "magneticNorth", kExportMagneticNorth, 1);
  m_waypointNames = check("ウェイポイント名(&Y)", "waypointNames", kExportWaypointNames, 0);

  m_estimate = new QLabel(this);
  m_estimate->setObjectName(QStringLiteral("estimate"));
  m_estimate->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(this);
  m_write = buttons->addButton(QStringLiteral("書き出す(&E)..."), QDialogButtonBox::AcceptRole);
  m_write->setObjectName(QStringLiteral("writeButton"));
  buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(areaBox);
  lay->addWidget(formatBox);
  lay->addWidget(drawBox);
  lay->addWidget(m_estimate);
  lay->addWidget(buttons);

  connect(m_areas, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) replan();
  });
  for (QSpinBox* s : {m_minZoom, m_maxZoom, m_quality}) connect(s, &QSpinBox::valueChanged, this, &CDlgExportTiles::replan);
  for (QDoubleSpinBox* s : {m_corridor, m_metres}) connect(s, &QDoubleSpinBox::valueChanged, this, &CDlgExportTiles::replan);
  for (QComboBox* c : {m_format, m_image, m_limit}) connect(c, &QComboBox::currentIndexChanged, this, &CDlgExportTiles::replan);
  connect(m_write, &QPushButton::clicked, this, &CDlgExportTiles::exportNow);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  replan();
}

tiles::SExportArea CDlgExportTiles::area() const {
  tiles::SExportArea a;
  switch (m_areas->checkedId()) {
    case kSelection: a.box = m_in.selection.value_or(tiles::SGeoBox{}); break;
    case kWindow: a.box = m_in.window.value_or(tiles::SGeoBox{}); break;
    case kTrack:
      if (m_in.track) a = tiles::CorridorArea(*m_in.track, m_corridor->value());
      break;
    default:
      if (m_in.collection) a.box = tiles::CollectionBox(*m_in.collection, m_in.series);
  }
  return a;
}

tiles::SExportOptions CDlgExportTiles::options() const {
  tiles::SExportOptions o;
  o.format = m_format->currentIndex() == 1   ? tiles::EFormat::Kmz
             : m_format->currentIndex() == 2 ? tiles::EFormat::GeoPackage
                                             : tiles::EFormat::Mbtiles;
  o.image = o.format == tiles::EFormat::Kmz || m_image->currentIndex() == 1 ? tiles::EImageFormat::Jpeg : tiles::EImageFormat::Png;
  o.jpegQuality = m_quality->value();
  o.minZoom = m_minZoom->value();
  o.maxZoom = m_maxZoom->value();
  o.kmzPixelMetres = m_metres->value();
  o.maxImages = static_cast<std::size_t>(m_limit->currentData().toInt());
  o.overlays.options = overlayBits();
  o.overlays.treks = m_in.treks;
  o.overlays.look = m_in.gridLook;
  return o;
}

std::int32_t CDlgExportTiles::overlayBits() const {
  return map_export::OptionsFromChecks(m_trackLines->isChecked(), m_trackNames->isChecked(), m_waypointIcons->isChecked(),
                                       m_waypointNames->isChecked()) |
         (m_utmGrid->isChecked() ? kExportUtmGrid : 0) | (m_graticule->isChecked() ? kExportGraticule : 0) |
         (m_magneticNorth->isChecked() ? kExportMagneticNorth : 0);
}

QString CDlgExportTiles::estimateText() const { return m_estimate->text(); }

void CDlgExportTiles::replan() {
  const bool kmz = m_format->currentIndex() == 1;
  for (QWidget* w : std::initializer_list<QWidget*>{m_minZoom, m_maxZoom, m_image}) w->setEnabled(!kmz);
  m_quality->setEnabled(kmz || m_image->currentIndex() == 1);
  m_metres->setEnabled(kmz);
  m_limit->setEnabled(kmz);
  m_corridor->setEnabled(m_areas->checkedId() == kTrack);
  m_trackLines->setEnabled(m_hasTrackLogs);
  m_trackNames->setEnabled(m_hasTrackLogs && m_trackLines->isChecked());
  m_waypointIcons->setEnabled(m_hasWaypoints);
  m_waypointNames->setEnabled(m_hasWaypoints && m_waypointIcons->isChecked());
  m_plan = m_in.collection ? tiles::PlanExport(area(), *m_in.collection, m_in.series, options()) : tiles::SExportPlan{};
  if (!m_in.collection) m_plan.error = "地形図が開かれていません。";
  const QLocale c(QLocale::English);
  QString text;
  if (!m_plan.error.empty()) {
    text = q(m_plan.error);
  } else if (kmz) {
    text = QStringLiteral("画像 %1 枚 (1 枚最大 1,024 × 1,024 ピクセル)").arg(c.toString(static_cast<qlonglong>(m_plan.tiles.size())));
    if (m_plan.tooManyImages) text += QStringLiteral("\n") + q(tiles::TooManyImagesMessage(m_plan, options().maxImages));
  } else {
    text = QStringLiteral("タイル %1 枚:").arg(c.toString(static_cast<qlonglong>(m_plan.tiles.size())));
    for (std::size_t i = 0; i < m_plan.perZoom.size(); ++i)
      text += QStringLiteral(" ズーム%1 %2").arg(options().minZoom + static_cast<int>(i)).arg(c.toString(m_plan.perZoom[i]));
  }
  m_estimate->setText(text);
  m_write->setEnabled(m_plan.error.empty() && !(kmz && m_plan.tooManyImages));
}

void CDlgExportTiles::exportNow() {
  replan();
  if (!m_plan.error.empty() || !m_in.collection) return;
  const tiles::SExportOptions opts = options();
  const bool kmz = opts.format == tiles::EFormat::Kmz;
  if (kmz && m_plan.tooManyImages) return;
  platform::SFileDialogRequest request;
  request.save = true;
  request.overwritePrompt = true;
  request.title = "地図を書き出す";
  const bool gpkg = opts.format == tiles::EFormat::GeoPackage;
  request.filter = kmz ? "Garmin カスタムマップ (*.kmz)|*.kmz||"
                   : gpkg ? "GeoPackage (*.gpkg)|*.gpkg||"
                          : "MBTiles (*.mbtiles)|*.mbtiles||";
  request.defaultExt = kmz ? "kmz" : gpkg ? "gpkg" : "mbtiles";
  const platform::SFileDialogResult chosen = platform::fileDialog().run(request);
  if (!chosen.accepted || chosen.paths.empty()) return;
  const std::filesystem::path out = chosen.paths.front();
  tiles::SExportOptions named = opts;
  named.name = platform::pathToUtf8(out.stem());
  tiles::WriteTileOverlayOptions(overlayBits());

  QProgressDialog progress(QStringLiteral("地図を書き出しています..."), QStringLiteral("中止"), 0, 1000, this);
  progress.setObjectName(QStringLiteral("exportProgress"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(300);
  m_result = tiles::RunExport(m_plan, *m_in.collection, m_in.series, m_in.render, named, out, true, [&](double f) {
    progress.setValue(static_cast<int>(f * 1000));
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  });
  progress.reset();
  if (m_result->cancelled) return;
  if (!m_result->ok) {
    platform::prompt().ask({"地図を書き出せませんでした。\r\n" + platform::pathToUtf8(out) + "\r\n" + m_result->error,
                            platform::EPromptIcon::Warning, platform::EPromptButtons::Ok, {}, "Vantoria"});
    return;
  }
  const QLocale c(QLocale::English);
  platform::prompt().ask({(QStringLiteral("%1 に %2 枚の%3を書き出しました (%4 MB)。")
                               .arg(q(platform::pathToUtf8(out.filename())))
                               .arg(c.toString(m_result->written))
                               .arg(kmz ? QStringLiteral("画像") : QStringLiteral("タイル"))
                               .arg(m_result->bytes / 1048576.0, 0, 'f', 1))
                              .toStdString(),
                          platform::EPromptIcon::Information, platform::EPromptButtons::Ok, {}, "Vantoria"});
}
