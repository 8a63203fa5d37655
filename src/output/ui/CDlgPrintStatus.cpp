#include "output/ui/CDlgPrintStatus.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CDlgPrintStatus* CDlgPrintStatus::s_current = nullptr;
bool CDlgPrintStatus::s_continue = true;

CDlgPrintStatus::CDlgPrintStatus(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("printStatus"));
  setWindowTitle(QStringLiteral("印刷"));
  setModal(false);
  m_document = new QLabel(this);
  m_document->setObjectName(QStringLiteral("documentText"));
  m_printer = new QLabel(this);
  m_printer->setObjectName(QStringLiteral("printerText"));
  m_page = new QLabel(this);
  m_page->setObjectName(QStringLiteral("pageText"));
  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("progress"));
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  auto* cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(cancelButton, &QPushButton::clicked, this, &CDlgPrintStatus::cancel);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(m_document);
  lay->addWidget(m_printer);
  lay->addWidget(m_page);
  lay->addWidget(m_progress);
  lay->addWidget(cancelButton, 0, Qt::AlignHCenter);
  s_current = this;
  s_continue = true;
}

CDlgPrintStatus::~CDlgPrintStatus() {
  if (s_current == this) s_current = nullptr;
  s_continue = true;
}

void CDlgPrintStatus::SetTexts(const QString& printerName, const QString& firstText, const QString& documentTitle) {
  m_printer->setText(firstText + QStringLiteral(" ") + printerName + QStringLiteral("に"));
  m_document->setText(QStringLiteral("地図画像") + documentTitle + QStringLiteral("を出力しています。"));
}

bool CDlgPrintStatus::Update(int pageNumber, int pageCount) {
  m_page->setText(QStringLiteral("%1/%2ページ").arg(pageNumber).arg(pageCount));
  m_progress->setValue(pageCount > 0 ? int(double(pageNumber) / pageCount * 100) : 0);
  return s_continue;
}

void CDlgPrintStatus::cancel() {
  s_continue = false;
  hide();
}
