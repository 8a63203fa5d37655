#pragma once
// The manual and the ReadMe shown inside the program, so help works on a machine without a
// registered browser. Links are followed in the window; a link below opens the page in the
// browser for those who prefer it.
#include <QDialog>
#include <QTextBrowser>
#include <QUrl>

class QLabel;

/// A QTextBrowser that shows plain text files (the ReadMe) as they are laid out.
class CHelpBrowser : public QTextBrowser {
  Q_OBJECT
 public:
  using QTextBrowser::QTextBrowser;
  QVariant loadResource(int type, const QUrl& name) override;
};

class CHelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit CHelpWindow(QWidget* parent = nullptr);

  /// Shows a file beside the program; a missing file is said so in the window itself.
  void ShowFile(const QString& path);
  [[nodiscard]] QTextBrowser* Browser() const { return m_browser; }
  /// The "open in the browser" link under the page.
  [[nodiscard]] QLabel* BrowserLink() const { return m_link; }

 private:
  void onSourceChanged(const QUrl& url);

  CHelpBrowser* m_browser;
  QLabel* m_link;
};
