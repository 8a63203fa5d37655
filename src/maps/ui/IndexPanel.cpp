#include "maps/ui/IndexPanel.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/CVantoriaDoc.h"
#include "maps/ui/IndexGrid.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"

IndexPanel::IndexPanel(CVantoriaDoc& doc, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_folders(new QComboBox(this)), m_areas(new QComboBox(this)),
      m_grid(new IndexGrid(this)) {
  setObjectName(QStringLiteral("indexPanel"));
  m_folders->setObjectName(QStringLiteral("folderList"));
  m_folders->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_folders->setMinimumContentsLength(8);
  m_folders->setToolTip(QStringLiteral("開いている地図フォルダ"));
  m_folders->hide();
  m_areas->setObjectName(QStringLiteral("areaList"));
  m_areas->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  m_areas->setMinimumContentsLength(8);
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(2, 2, 2, 2);
  lay->setSpacing(2);
  lay->addWidget(m_folders);
  lay->addWidget(m_areas);
  lay->addWidget(m_grid, 1);

  connect(m_areas, qOverload<int>(&QComboBox::activated), m_grid, &IndexGrid::ShowArea);
  connect(m_folders, qOverload<int>(&QComboBox::activated), &m_doc, &CVantoriaDoc::SetCurrentFolder);
  connect(&m_doc, &CVantoriaDoc::collectionChanged, this, &IndexPanel::fillFolders);
  connect(m_grid, &IndexGrid::sheetChosen, &m_doc, &CVantoriaDoc::LoadSheet);
  connect(&m_doc, &CVantoriaDoc::catalogueCleared, this, &IndexPanel::Clear);
  connect(&m_doc, &CVantoriaDoc::catalogueOpened, this, &IndexPanel::Fill);
  connect(&m_doc, &CVantoriaDoc::selectSheetRequested, this, &IndexPanel::SelectSheet);
  if (!m_doc.Catalogue().empty()) Fill();
}

void IndexPanel::fillFolders() {
  const QSignalBlocker block(m_folders);
  m_folders->clear();
  const auto& folders = m_doc.Collection().folders();
  for (const auto& f : folders) {
    // The folder's own name, with its parent for copies named alike (cd1/map25000 ...).
    const std::filesystem::path& d = f->directory;
    const QString name = QString::fromStdString(platform::pathToUtf8(d.parent_path().filename() / d.filename()));
    const char* series = f->catalogue.series() == MapSeries::Scale50000   ? " (1:50,000)"
                         : f->catalogue.series() == MapSeries::Scale25000 ? " (1:25,000)"
                                                                          : "";
    m_folders->addItem(name + QString::fromLatin1(series), QString::fromStdString(platform::pathToUtf8(d)));
  }
  m_folders->setCurrentIndex(m_doc.CurrentFolder());
  m_folders->setVisible(folders.size() > 1);
}

void IndexPanel::Fill() {
  if (m_folders->count() != static_cast<int>(m_doc.Collection().folders().size())) fillFolders();
  {
    const QSignalBlocker block(m_folders);
    m_folders->setCurrentIndex(m_doc.CurrentFolder());
  }
  const SheetCatalogue& catalogue = m_doc.Catalogue();
  const QSignalBlocker block(m_areas);
  m_areas->clear();
  for (const CatalogueArea& a : catalogue.areas())
    m_areas->addItem(QString::fromStdString(platform::cp932::toUtf8Lossy(a.areaName)));
  m_areas->setCurrentIndex(catalogue.empty() ? -1 : 0);
  m_grid->Fill(&catalogue, int(m_doc.Series()));
}

void IndexPanel::Clear() {
  const QSignalBlocker block(m_areas);
  m_areas->clear();
  m_grid->Clear();
}

void IndexPanel::SelectSheet(int area, int slot) {
  if (area < 0 || area >= m_areas->count()) return;
  {
    const QSignalBlocker block(m_areas);
    m_areas->setCurrentIndex(area);
  }
  m_grid->SelectSheet(area, slot);
}
