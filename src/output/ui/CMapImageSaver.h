#pragma once
// The map view's command "選択範囲を保存": options, file choice and the export of the selected
// rectangle at the sheet's own resolution, after which the view shows its magnification again.
#include <QRect>
#include <cstdint>
#include <functional>
#include <optional>

#include "output/MapImageExport.h"

class CVantoriaDoc;
class CVantoriaView;
class QWidget;

class CMapImageSaver {
 public:
  /// The view, the document and the window the dialogs belong to (not owned).
  CMapImageSaver(CVantoriaView& view, CVantoriaDoc& doc, QWidget* dialogParent = nullptr);

  /// Asks for the overlays given the stored flags and the kinds of open trek data; none when
  /// cancelled. CDlgSavemapOption unless replaced.
  using OptionsDialog =
      std::function<std::optional<std::int32_t>(std::int32_t options, const map_export::STrekKinds& kinds)>;
  void setOptionsDialog(OptionsDialog dialog) { m_optionsDialog = std::move(dialog); }

  /// Saves the selection (sheet pixels; a null rectangle: the whole sheet). The options dialog
  /// appears only when trek data are open. True when an image was written.
  bool SaveSelectionCommand(const QRect& selection);

 private:
  /// The seamless map's selection (plane pixels at ratio 1), rendered band by band.
  bool savePlane(const QRect& selection, std::int32_t options);
  [[nodiscard]] std::optional<std::int32_t> askOptions(std::int32_t options, const map_export::STrekKinds& kinds) const;

  CVantoriaView& m_view;
  CVantoriaDoc& m_doc;
  QWidget* m_parent = nullptr;
  OptionsDialog m_optionsDialog;
};
