#include "platform/ui/CQtColourDialog.h"

#include <QColorDialog>

namespace platform {
namespace {

QColor toQColor(std::uint32_t colourRef) {
  return QColor(int(colourRef & 0xFF), int((colourRef >> 8) & 0xFF), int((colourRef >> 16) & 0xFF));
}

std::uint32_t toColourRef(const QColor& c) {
  return std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) | (std::uint32_t(c.blue()) << 16);
}

}  // namespace

SColourResult CQtColourDialog::run(const SColourRequest& request) {
  // QColorDialog keeps one set of custom colours for the whole process: load the caller's set
  // before showing and hand back what the user left there.
  const int count = std::min<int>(QColorDialog::customCount(), int(request.custom.size()));
  for (int i = 0; i < count; ++i) QColorDialog::setCustomColor(i, toQColor(request.custom[std::size_t(i)]));
  QColorDialog dlg(toQColor(request.initial), m_parent);
  dlg.setObjectName(QStringLiteral("colourDialog"));
  // The built-in dialog always shows its custom colour part; a desktop's own chooser may not.
  dlg.setOption(QColorDialog::DontUseNativeDialog);
  SColourResult result{false, request.initial, request.custom};
  if (dlg.exec() == QDialog::Accepted) {
    result.accepted = true;
    result.colour = toColourRef(dlg.selectedColor());
  }
  for (int i = 0; i < count; ++i) result.custom[std::size_t(i)] = toColourRef(QColorDialog::customColor(i));
  return result;
}

}  // namespace platform
