#include "output/ui/CDlgPrintPreview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CDlgPrintPreview::CDlgPrintPreview(const PrintInfo& info, std::shared_ptr<const CPrintPageRenderer> renderer,
                                   const SPreviewPaper& paper, int pagesShown, std::function<void(int)> pagesChosen,
                                   QWidget* parent)
    : QDialog(parent), m_pagesChosen(std::move(pagesChosen)) {
  setObjectName(QStringLiteral("printPreviewDialog"));
  setWindowTitle(QStringLiteral("印刷プレビュー"));
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  const auto button = [this](const char* text, const char* name) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
  };
  m_print = button("印刷(&P)...", "printButton");
  m_prev = button("前ページ(&R)", "prevButton");
  m_next = button("次ページ(&V)", "nextButton");
  m_toggle = button("2ページ(&T)", "pagesButton");
  m_zoomIn = button("拡大(&I)", "zoomInButton");
  m_zoomOut = button("縮小(&O)", "zoomOutButton");
  m_close = button("閉じる(&C)...", "closeButton");
  m_close->setDefault(true);
  m_current = new QLabel(this);
  m_current->setObjectName(QStringLiteral("currentPageText"));
  m_total = new QLabel(this);
  m_total->setObjectName(QStringLiteral("totalPagesText"));
  m_wnd = new CPrintPreviewWnd(this);

  auto* row = new QHBoxLayout;
  for (QWidget* w : {m_print, m_prev, m_next, m_toggle, m_zoomIn, m_zoomOut, m_close}) row->addWidget(w);
  row->addSpacing(12);
  row->addWidget(m_current);
  row->addSpacing(12);
  row->addWidget(m_total);
  row->addStretch(1);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(4, 4, 4, 4);
  lay->setSpacing(3);
  lay->addLayout(row);
  lay->addWidget(m_wnd, 1);
  setMinimumSize(row->sizeHint().width() + 14, 400);

  connect(m_wnd, &CPrintPreviewWnd::pageChanged, this, &CDlgPrintPreview::pageChanged);
  connect(m_prev, &QPushButton::clicked, this, [this] { m_wnd->SetCurrentPage(m_wnd->currentPage() - 1, false); });
  connect(m_next, &QPushButton::clicked, this, [this] { m_wnd->SetCurrentPage(m_wnd->currentPage() + 1, false); });
  connect(m_zoomIn, &QPushButton::clicked, this, [this] {
    m_wnd->SetZoomState(m_wnd->zoomState() + 1);
    updateButtons();
  });
  connect(m_zoomOut, &QPushButton::clicked, this, [this] {
    m_wnd->SetZoomState(m_wnd->zoomState() - 1);
    updateButtons();
  });
  connect(m_toggle, &QPushButton::clicked, this, [this] {
    m_wnd->TogglePages();
    if (m_pagesChosen) m_pagesChosen(m_wnd->pagesShown());
    updateButtons();
  });
  connect(m_print, &QPushButton::clicked, this, [this] { done(kPrintResult); });
  connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

  m_started = m_wnd->Start(info, std::move(renderer), paper, pagesShown);
  updateButtons();
}

CDlgPrintPreview::~CDlgPrintPreview() = default;

int CDlgPrintPreview::exec() {
  if (!m_started) return QDialog::Rejected;
  setWindowState(windowState() | Qt::WindowMaximized);
  return QDialog::exec();
}

void CDlgPrintPreview::pageChanged(int maxPage, int first, int second, int /*pagesShown*/) {
  m_current->setText(second < 0 ? QStringLiteral("現在ページ %1").arg(first)
                                : QStringLiteral("現在ページ %1-%2").arg(first).arg(second));
  m_total->setText(QStringLiteral("全ページ数 %1").arg(maxPage));
  updateButtons();
}

void CDlgPrintPreview::updateButtons() {
  const CPrintPreviewWnd& w = *m_wnd;
  m_prev->setEnabled(w.currentPage() > 1);
  m_next->setEnabled(w.currentPage() + w.pagesShown() - 1 < w.maxPage());
  m_zoomIn->setEnabled(w.zoomState() != 2);
  m_zoomOut->setEnabled(w.zoomState() != 0);
  m_toggle->setEnabled(w.zoomState() == 0 && !(w.maxPage() < 2 && w.pagesShown() < 2));
  const int shown = w.zoomState() == 0 ? w.pagesShown() : w.pagesShownSaved();
  m_toggle->setText(shown == 1 ? QStringLiteral("2ページ(&T)") : QStringLiteral("1ページ(&O)"));
}
