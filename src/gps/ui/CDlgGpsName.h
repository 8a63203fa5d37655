#pragma once
// The GPS name window of the upload dialogs: "GPS用ポイント名の変更" (at most 10 characters) or
// "GPS用トラックログ名の変更" (13). OK hands the text to the owner, whose checks may refuse it
// (their message shown); a refused name keeps the window open.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;

class CDlgGpsName : public QDialog {
  Q_OBJECT
 public:
  /// `kind`: 1 waypoints, 3 track logs; `current` and the applied text are UTF-8.
  CDlgGpsName(std::int32_t kind, const std::string& current, std::function<bool(const std::string&)> apply,
              QWidget* parent = nullptr);

  [[nodiscard]] QLineEdit* nameEdit() const { return m_edit; }

 public slots:
  void accept() override;

 private:
  std::function<bool(const std::string&)> m_apply;
  QLineEdit* m_edit = nullptr;
};
