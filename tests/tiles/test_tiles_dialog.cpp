// "地図を書き出す" driven like a user would, offscreen: the estimate follows the controls, a
// custom map over the unit's image limit cannot be written, and an MBTiles file is written
// through the scripted file dialog with the closing message.
#include <gtest/gtest.h>

#include <fstream>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "common/TestUtil.h"
#include "mosaic/MapCollection.h"
#include "platform/IFileDialog.h"
#include "platform/IPrompt.h"
#include "tiles/ui/CDlgExportTiles.h"

TEST(ExportTilesDialog, EstimatesRefusesOverTheLimitAndWrites) {
  mosaic::CMapCollection collection;
  collection.AddTree(testutil::sampleCollectionDir());
  STileExportInput in;
  in.collection = &collection;
  in.series = MapSeries::Scale25000;
  CDlgExportTiles dlg(in);
  dlg.show();
  auto* all = dlg.findChild<QRadioButton*>(QStringLiteral("areaAll"));
  auto* selection = dlg.findChild<QRadioButton*>(QStringLiteral("areaSelection"));
  auto* format = dlg.findChild<QComboBox*>(QStringLiteral("format"));
  auto* minZoom = dlg.findChild<QSpinBox*>(QStringLiteral("minZoom"));
  auto* maxZoom = dlg.findChild<QSpinBox*>(QStringLiteral("maxZoom"));
  auto* write = dlg.findChild<QPushButton*>(QStringLiteral("writeButton"));
  ASSERT_TRUE(all && selection && format && minZoom && maxZoom && write);
  EXPECT_FALSE(selection->isEnabled()) << "no range selection to export";
  EXPECT_TRUE(all->isChecked());
  EXPECT_EQ(maxZoom->value(), 15);
  EXPECT_EQ(minZoom->value(), 10);
  EXPECT_TRUE(dlg.estimateText().startsWith(QStringLiteral("タイル "))) << dlg.estimateText().toStdString();

  format->setCurrentIndex(1);  // a custom map at 2 m per pixel needs more than 100 images
  dlg.findChild<QDoubleSpinBox*>(QStringLiteral("pixelMetres"))->setValue(2.0);
  EXPECT_TRUE(dlg.plan().tooManyImages);
  EXPECT_FALSE(write->isEnabled());
  EXPECT_NE(dlg.estimateText().indexOf(QStringLiteral("100 枚を超えます")), -1) << dlg.estimateText().toStdString();

  format->setCurrentIndex(0);
  minZoom->setValue(11);
  maxZoom->setValue(12);
  ASSERT_TRUE(write->isEnabled());
  // With VANTORIA_SHOT_DIR set, the dialog as it looks now (for the manual).
  if (const QByteArray shots = qgetenv("VANTORIA_SHOT_DIR"); !shots.isEmpty())
    dlg.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/export-tiles.png"));
  QTemporaryDir dir;
  const std::filesystem::path out = std::filesystem::path(dir.path().toStdString()) / "walk.mbtiles";
  platform::CScriptedFileDialog files;
  files.pushPath(out);
  platform::setFileDialog(&files);
  platform::CScriptedPrompt prompt;
  platform::setPrompt(&prompt);
  QTest::mouseClick(write, Qt::LeftButton);
  platform::setPrompt(nullptr);
  platform::setFileDialog(nullptr);
  ASSERT_TRUE(dlg.lastResult().has_value());
  EXPECT_TRUE(dlg.lastResult()->ok) << dlg.lastResult()->error;
  EXPECT_TRUE(std::filesystem::exists(out));
  ASSERT_EQ(files.requests().size(), 1u);
  EXPECT_EQ(files.requests()[0].defaultExt, "mbtiles");
  ASSERT_EQ(prompt.requests().size(), 1u);
  EXPECT_EQ(prompt.requests()[0].text.rfind("walk.mbtiles に ", 0), 0u) << prompt.requests()[0].text;

  // The GeoPackage takes the same levels and writes a file of its own kind.
  format->setCurrentIndex(2);
  EXPECT_TRUE(minZoom->isEnabled());
  if (const QByteArray shots = qgetenv("VANTORIA_SHOT_DIR"); !shots.isEmpty())
    dlg.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/export-tiles-gpkg.png"));
  EXPECT_TRUE(dlg.estimateText().startsWith(QStringLiteral("タイル "))) << dlg.estimateText().toStdString();
  ASSERT_TRUE(write->isEnabled());
  const std::filesystem::path gpkg = std::filesystem::path(dir.path().toStdString()) / "walk.gpkg";
  platform::CScriptedFileDialog gpkgFiles;
  gpkgFiles.pushPath(gpkg);
  platform::setFileDialog(&gpkgFiles);
  platform::CScriptedPrompt gpkgPrompt;
  platform::setPrompt(&gpkgPrompt);
  QTest::mouseClick(write, Qt::LeftButton);
  platform::setPrompt(nullptr);
  platform::setFileDialog(nullptr);
  ASSERT_TRUE(dlg.lastResult().has_value());
  EXPECT_TRUE(dlg.lastResult()->ok) << dlg.lastResult()->error;
  ASSERT_EQ(gpkgFiles.requests().size(), 1u);
  EXPECT_EQ(gpkgFiles.requests()[0].defaultExt, "gpkg");
  EXPECT_EQ(gpkgFiles.requests()[0].filter, "GeoPackage (*.gpkg)|*.gpkg||");
  std::ifstream head(gpkg, std::ios::binary);
  std::string magic(16, '\0');
  head.read(magic.data(), 16);
  EXPECT_EQ(magic.substr(0, 15), "SQLite format 3");
}
