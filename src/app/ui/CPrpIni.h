#pragma once
// The settings property sheet "Vantoriaの設定": the colour pages of both series and the view page
// over CSettingsSheet, with OK, Cancel and Apply.
#include <QDialog>
#include <array>
#include <memory>

#include "app/SettingsSheet.h"

class CVantoriaDoc;
class CVantoriaView;
class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QRadioButton;
class QTabWidget;

/// What the sheet's changes do to the main window: the map view renders again, the trek data
/// windows show their positions again. Either may be null.
class CMapSettingsRefresh : public ISettingsRefresh {
 public:
  CMapSettingsRefresh(CVantoriaView* view, CVantoriaDoc* doc) : m_view(view), m_doc(doc) {}
  void RefreshColours(int series) override;
  void RefreshTrekDisplay() override;
  void RefreshGrid() override;

 private:
  CVantoriaView* m_view;
  CVantoriaDoc* m_doc;
};

/// A colour page: nine sample fields in the slot colours with their "色 ..." buttons, eight
/// "非表示" boxes, "デフォルト色(&D)" and "リセット(&R)".
class CPrpIniColor : public QWidget {
  Q_OBJECT
 public:
  explicit CPrpIniColor(CColourPageModel& model, QWidget* parent = nullptr);

 signals:
  /// The page's values changed (the sheet enables Apply).
  void changed();

 private:
  void updateSamples();
  void updateChecks();

  CColourPageModel& m_model;
  std::array<QLabel*, 9> m_samples{};
  std::array<QCheckBox*, 8> m_hide{};
};

/// The 1:25,000 colours ("数値地図25000の色").
class CPrpIniColor25 : public CPrpIniColor {
  Q_OBJECT
 public:
  explicit CPrpIniColor25(CColourPageModel& model, QWidget* parent = nullptr);
};

/// The 1:50,000 colours ("数値地図50000の色").
class CPrpIniColor50 : public CPrpIniColor {
  Q_OBJECT
 public:
  explicit CPrpIniColor50(CColourPageModel& model, QWidget* parent = nullptr);
};

/// The view page ("表示"): display quality, the datum of latitudes and longitudes, the position
/// format of the status bar and the colours of the grid lines.
class CPrpIniView : public QWidget {
  Q_OBJECT
 public:
  explicit CPrpIniView(CViewPageModel& model, QWidget* parent = nullptr);

 signals:
  void changed();

 private:
  void updateGridSamples();

  CViewPageModel& m_model;
  std::array<QLabel*, CViewPageModel::kGridColours> m_gridSamples{};
};

class CPrpIni : public QDialog {
  Q_OBJECT
 public:
  CPrpIni(AppSettings& live, ISettingsRefresh& refresh, QWidget* parent = nullptr);
  ~CPrpIni() override;

  [[nodiscard]] CSettingsSheet& sheet() { return *m_sheet; }

  /// OK keeps the values, anything else restores those from before the sheet opened; then the
  /// colour pages write their custom colours.
  void done(int result) override;

 private:
  void finish(bool accepted);
  void updateApply();

  std::unique_ptr<CSettingsSheet> m_sheet;
  QTabWidget* m_tabs = nullptr;
  QDialogButtonBox* m_buttons = nullptr;
  bool m_closed = false;
};

/// The settings command: shows the sheet modally over `parent` (the colour chooser on screen
/// unless one is installed).
void RunSettingsSheet(QWidget* parent, AppSettings& settings, ISettingsRefresh& refresh);
