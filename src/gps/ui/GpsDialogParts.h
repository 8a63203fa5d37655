#pragma once
// Pieces the four transfer dialogs share: the port list, the remembered settings, the list
// widgets and the two send-method icons.
#include <QIcon>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
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

/// A list with the given column titles, one row per item, no tree decoration.
QTreeWidget* MakeList(const std::vector<std::string>& titles, const QString& name, QWidget* parent);
/// Column widths that show the rows' texts.
void FitColumns(QTreeWidget& list);

/// The icon of an upload entry sent as the receiver's active log (true) or as a saved track.
[[nodiscard]] QIcon SendMethodIcon(bool activeLog);

}  // namespace gpsui
