#pragma once
#include "platform/IColourDialog.h"

class QWidget;

namespace platform {

/// The colour chooser shown with QColorDialog, its custom colour part filled from the request.
class CQtColourDialog : public IColourDialog {
 public:
  explicit CQtColourDialog(QWidget* parent = nullptr) : m_parent(parent) {}
  SColourResult run(const SColourRequest& request) override;

 private:
  QWidget* m_parent;
};

}  // namespace platform
