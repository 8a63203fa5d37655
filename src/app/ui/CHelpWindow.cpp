#include "app/ui/CHelpWindow.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

QVariant CHelpBrowser::loadResource(int type, const QUrl& name) {
  // Plain text would otherwise be read as HTML and lose its line breaks.
  if (type == QTextDocument::HtmlResource && name.isLocalFile() &&
      name.toLocalFile().endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive)) {
    QFile f(name.toLocalFile());
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(f.read(std::int64_t{4} << 20));
    return QStringLiteral("<pre style=\"font-family: 'IPAGothic', 'Noto Sans Mono CJK JP', monospace;\">%1</pre>")
        .arg(text.toHtmlEscaped());
  }
  return QTextBrowser::loadResource(type, name);
}

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent), m_browser(new CHelpBrowser(this)), m_link(new QLabel(this)) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(QStringLiteral("Vantoria ヘルプ"));
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  setAttribute(Qt::WA_DeleteOnClose, false);
  m_browser->setObjectName(QStringLiteral("helpBrowser"));
  m_browser->setOpenLinks(true);
  m_browser->setOpenExternalLinks(true);  // web addresses go to the browser
  m_link->setObjectName(QStringLiteral("openInBrowser"));
  m_link->setTextFormat(Qt::RichText);
  connect(m_link, &QLabel::linkActivated, this, [](const QString& href) { QDesktopServices::openUrl(QUrl(href)); });
  connect(m_browser, &QTextBrowser::sourceChanged, this, &CHelpWindow::onSourceChanged);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(4, 4, 4, 4);
  lay->addWidget(m_browser, 1);
  lay->addWidget(m_link, 0, Qt::AlignRight);

  QSize size(760, 640);
  if (const QScreen* s = QGuiApplication::primaryScreen()) size = size.boundedTo(s->availableGeometry().size() * 9 / 10);
  resize(size);
}

void CHelpWindow::ShowFile(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    m_browser->clear();
    m_browser->setHtml(QStringLiteral("<p>ファイル [ %1 ] が見つかりませんでした。</p>").arg(path.toHtmlEscaped()));
    m_link->clear();
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - Vantoria"));
    return;
  }
  m_browser->setSource(QUrl::fromLocalFile(path));
}

void CHelpWindow::onSourceChanged(const QUrl& url) {
  const QString title = m_browser->documentTitle();
  setWindowTitle(title.isEmpty() ? QFileInfo(url.toLocalFile()).fileName() + QStringLiteral(" - Vantoria") : title);
  QUrl page = url;
  page.setFragment(QString());
  m_link->setText(QStringLiteral("<a href=\"%1\">ブラウザで開く</a>").arg(page.toString().toHtmlEscaped()));
}
