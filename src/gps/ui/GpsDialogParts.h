#pragma once
// Pieces the four transfer dialogs share: the port row, the remembered settings, the buttons,
// the list widgets and the two send-method icons.
#include <QIcon>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "geodesy/GeoPosition.h"

class CDlgGpsProgress;
class QComboBox;
class QHBoxLayout;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace gpsui {

/// Where "CommPort" and "GPSCommDatum" live while the program runs (not owned; null keeps
/// them in the profile only).
struct SGpsSettings {
  std::int32_t* commPort = nullptr;
  std::int32_t* gpsCommDatum = nullptr;
};

[[nodiscard]] inline QString q(const std::string& utf8) { return QString::fromStdString(utf8); }

/// Scans the ports into `box` and selects the remembered one; warns when none is available.
void FillPorts(QComboBox& box, int commPort);
/// Port number of the chosen item, 0 when the list is empty.
[[nodiscard]] int ChosenPort(const QComboBox& box);
/// The remembered port (setting first, then the profile; -1 when none was chosen).
[[nodiscard]] int StoredPort(const SGpsSettings& settings);
/// The remembered datum option (0 WGS-84, anything else Tokyo).
[[nodiscard]] int StoredDatum(const SGpsSettings& settings);
/// "終了": the chosen port (when there is one) as "CommPort", and with `datum` >= 0 the datum
/// option as "GPSCommDatum", into the settings and the profile.
void StoreSettings(const SGpsSettings& settings, int port, int datum);

/// A dialog button with the UTF-8 `text` and the object name `name`; Enter never presses it.
QPushButton* MakeButton(const char* text, const char* name, QWidget* parent);

/// The top row of the download and upload dialogs: "通信ポート(&P)" with the port list, the
/// start button when the dialog has it there, and on the waypoint dialogs the datum options.
struct SPortRow {
  QHBoxLayout* layout = nullptr;
  QComboBox* ports = nullptr;
  QPushButton* start = nullptr;
  QRadioButton* wgs84 = nullptr;  ///< waypoint dialogs only
  QRadioButton* tokyo = nullptr;
};
/// Builds the row; `startText` null leaves the start button out.
SPortRow MakePortRow(QWidget* parent, bool datumOptions, const char* startText = nullptr,
                     const char* startName = nullptr);
/// Chooses the remembered datum option (waypoint dialogs).
void ShowStoredDatum(const SPortRow& row, const SGpsSettings& settings);
/// The datum the rows are shown in (Tokyo where the dialog has no options).
[[nodiscard]] Datum ShownDatum(const SPortRow& row);
/// "終了": the row's port and datum option into the settings and the profile.
void StoreSettings(const SGpsSettings& settings, const SPortRow& row);

/// The progress window of a transfer. The trek data must not change under a running transfer:
/// nothing but its "中止" takes input.
CDlgGpsProgress* MakeProgressWindow(QWidget* parent);

/// A list with the given column titles, one row per item, no tree decoration.
QTreeWidget* MakeList(const std::vector<std::string>& titles, const QString& name, QWidget* parent);
/// Column widths that show the rows' texts.
void FitColumns(QTreeWidget& list);

/// The icon of an upload entry sent as the receiver's active log (true) or as a saved track.
[[nodiscard]] QIcon SendMethodIcon(bool activeLog);

}  // namespace gpsui
