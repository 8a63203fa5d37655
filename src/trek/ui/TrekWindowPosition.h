#pragma once
// Remembered positions of the trek editing windows: section "Wnd_Pos", keys name + "_left" and
// name + "_top", in the parent's client coordinates.
#include <string>

class QWidget;

namespace trek {

inline constexpr const char* kEditWindowName = "Dlg_Add/EditPoint";

/// Places `window` at its remembered position; a corner out of reach puts it at (0, 0).
void RestoreWindowPosition(QWidget& window, const std::string& name = kEditWindowName);
void SaveWindowPosition(const QWidget& window, const std::string& name = kEditWindowName);

}  // namespace trek
