#pragma once
#include "platform/IPrompt.h"

class QWidget;

namespace platform {

/// Message boxes shown with QMessageBox; "\r\n" in the texts become line breaks.
class CQtPrompt : public IPrompt {
 public:
  explicit CQtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
  EPromptAnswer ask(const SPromptRequest& request) override;
  void setParent(QWidget* parent) { m_parent = parent; }

 private:
  QWidget* m_parent;
};

}  // namespace platform
