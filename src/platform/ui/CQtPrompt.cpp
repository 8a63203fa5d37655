#include "platform/ui/CQtPrompt.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <vector>

namespace platform {
namespace {
const QString kDetailsText = QStringLiteral("詳細");
}  // namespace

EPromptAnswer CQtPrompt::ask(const SPromptRequest& r) {
  QMessageBox box(m_parent);
  box.setWindowTitle(QString::fromStdString(r.caption));
  QString text = QString::fromStdString(r.text);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  box.setText(text);
  switch (r.icon) {
    case EPromptIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case EPromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case EPromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    case EPromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case EPromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
  }
  QMessageBox::StandardButtons buttons;
  switch (r.buttons) {
    case EPromptButtons::Ok: buttons = QMessageBox::Ok; break;
    case EPromptButtons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case EPromptButtons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case EPromptButtons::YesNoCancel: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
  }
  box.setStandardButtons(buttons);
  auto toButton = [](EPromptAnswer a) {
    switch (a) {
      case EPromptAnswer::Ok: return QMessageBox::Ok;
      case EPromptAnswer::Cancel: return QMessageBox::Cancel;
      case EPromptAnswer::Yes: return QMessageBox::Yes;
      case EPromptAnswer::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
  };
  if (r.defaultButton) box.setDefaultButton(toButton(*r.defaultButton));
  if (!r.buttonTexts.empty()) {
    std::vector<QMessageBox::StandardButton> order;
    switch (r.buttons) {
      case EPromptButtons::Ok: order = {QMessageBox::Ok}; break;
      case EPromptButtons::OkCancel: order = {QMessageBox::Ok, QMessageBox::Cancel}; break;
      case EPromptButtons::YesNo: order = {QMessageBox::Yes, QMessageBox::No}; break;
      case EPromptButtons::YesNoCancel: order = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    }
    for (std::size_t i = 0; i < order.size() && i < r.buttonTexts.size(); ++i) {
      if (QAbstractButton* b = box.button(order[i])) b->setText(QString::fromStdString(r.buttonTexts[i]));
    }
  }
  if (!r.details.empty()) {
    QString details = QString::fromStdString(r.details);
    details.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setDetailedText(details);
    // The box names its own toggle button ("Show Details..."/"Hide Details...") and renames it
    // on every click through its button box; a later connection to that box runs after it.
    for (QAbstractButton* b : box.buttons()) {
      if (box.buttonRole(b) != QMessageBox::ActionRole) continue;
      b->setObjectName(QStringLiteral("detailsButton"));
      b->setText(kDetailsText);
      if (auto* buttonBox = box.findChild<QDialogButtonBox*>()) {
        QObject::connect(buttonBox, &QDialogButtonBox::clicked, b, [b](QAbstractButton* clicked) {
          if (clicked == b) b->setText(kDetailsText);
        });
      }
    }
  }
  switch (box.exec()) {
    case QMessageBox::Ok: return EPromptAnswer::Ok;
    case QMessageBox::Yes: return EPromptAnswer::Yes;
    case QMessageBox::No: return EPromptAnswer::No;
    default:
      // Escape / close: the answer of the Cancel (or No) button.
      if (r.buttons == EPromptButtons::YesNo) return EPromptAnswer::No;
      if (r.buttons == EPromptButtons::Ok) return EPromptAnswer::Ok;
      return EPromptAnswer::Cancel;
  }
}

}  // namespace platform
