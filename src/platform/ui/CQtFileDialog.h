#pragma once
#include "platform/IFileDialog.h"

class QWidget;

namespace platform {

/// File dialogs shown with QFileDialog (non-native, so behaviour is the same everywhere).
class CQtFileDialog : public IFileDialog {
 public:
  explicit CQtFileDialog(QWidget* parent = nullptr) : m_parent(parent) {}
  SFileDialogResult run(const SFileDialogRequest& request) override;
  void setParent(QWidget* parent) { m_parent = parent; }

 private:
  QWidget* m_parent;
};

}  // namespace platform
