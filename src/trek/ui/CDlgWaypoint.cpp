#include "trek/ui/CDlgWaypoint.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "geodesy/GridReference.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrekGroupList.h"
#include "trek/ui/TrekWindowPosition.h"

namespace {

QString q(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string s(const QString& text) { return text.toStdString(); }

}  // namespace

CDlgWaypoint::CDlgWaypoint(CTrekGroupList& list, EMode mode, QWidget* parent)
    : QDialog(parent), m_list(list), m_mode(mode) {
  const bool add = mode == EMode::Add;
  setObjectName(add ? QStringLiteral("dlgAddWaypoint") : QStringLiteral("dlgEditWaypoint"));
  setWindowTitle(add ? QStringLiteral("ウェイポイントの追加") : QStringLiteral("ウェイポイントの編集"));
  setModal(false);

  m_wgs84 = new QRadioButton(QStringLiteral("&WGS-84/JGD2000で入力"), this);
  m_wgs84->setObjectName(QStringLiteral("datumWgs84"));
  m_tokyo = new QRadioButton(QStringLiteral("&Tokyoで入力"), this);
  m_tokyo->setObjectName(QStringLiteral("datumTokyo"));
  connect(m_wgs84, &QRadioButton::toggled, this, [this] { datumChosen(); });
  auto* datumRow = new QHBoxLayout;
  datumRow->addWidget(m_wgs84);
  datumRow->addWidget(m_tokyo);
  datumRow->addStretch();

  auto* grid = new QGridLayout;
  const auto coordinateRow = [&](int row, const QString& label, QLineEdit* (&fields)[3], const char* prefix) {
    auto* l = new QLabel(label, this);
    grid->addWidget(l, row, 0);
    const QString units[3] = {QStringLiteral("度"), QStringLiteral("分"), QStringLiteral("秒")};
    const char* names[3] = {"Deg", "Min", "Sec"};
    for (int i = 0; i < 3; ++i) {
      fields[i] = new QLineEdit(this);
      fields[i]->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(names[i]));
      if (i == 0) l->setBuddy(fields[i]);
      grid->addWidget(fields[i], row, 1 + 2 * i);
      grid->addWidget(new QLabel(units[i], this), row, 2 + 2 * i);
    }
  };
  coordinateRow(0, QStringLiteral("北緯(&N)"), m_lat, "lat");
  coordinateRow(1, QStringLiteral("東経(&E)"), m_lon, "lon");
  // A UTM or MGRS reference typed here is shown in the angle fields as soon as it is complete.
  m_grid = new QLineEdit(this);
  m_grid->setObjectName(QStringLiteral("gridRefEdit"));
  m_grid->setPlaceholderText(QStringLiteral("54S UE 12345 67890"));
  m_grid->installEventFilter(this);
  auto* gridLabel = new QLabel(QStringLiteral("グリッド(&R)"), this);
  gridLabel->setBuddy(m_grid);
  grid->addWidget(gridLabel, 2, 0);
  grid->addWidget(m_grid, 2, 1, 1, 6);
  connect(m_grid, &QLineEdit::editingFinished, this, [this] { (void)TakeGridReference(); });

  auto* form = new QGridLayout;
  const auto textRow = [&](int row, const QString& label, QLineEdit*& edit, const char* name) {
    edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    auto* l = new QLabel(label, this);
    l->setBuddy(edit);
    form->addWidget(l, row, 0);
    form->addWidget(edit, row, 1);
  };
  textRow(0, QStringLiteral("ポイントの名前(&P)"), m_name, "nameEdit");
  textRow(1, QStringLiteral("GPS表示名(&G)"), m_gpsName, "gpsNameEdit");
  textRow(2, QStringLiteral("説明&１"), m_desc1, "desc1Edit");
  textRow(3, QStringLiteral("説明&２"), m_desc2, "desc2Edit");
  m_comment = new QPlainTextEdit(this);
  m_comment->setObjectName(QStringLiteral("commentEdit"));
  auto* commentLabel = new QLabel(QStringLiteral("コメント(&C)"), this);
  commentLabel->setBuddy(m_comment);
  form->addWidget(commentLabel, 4, 0, Qt::AlignTop);
  form->addWidget(m_comment, 4, 1);

  auto* hint = new QLabel(add ? QStringLiteral("新しいポイントで右クリックすると、そのポイントの経緯度が取り込まれます。")
                              : QStringLiteral("ポイントアイコンをドラッグするか、\r\n新しいポイントで右クリックするとポイントを移動できます。"),
                          this);
  hint->setObjectName(QStringLiteral("hintText"));
  hint->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("buttons"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgWaypoint::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDlgWaypoint::reject);

  auto* lay = new QVBoxLayout(this);
  lay->addLayout(datumRow);
  lay->addLayout(grid);
  lay->addLayout(form);
  lay->addWidget(hint);
  lay->addWidget(buttons);
}

CDlgWaypoint::~CDlgWaypoint() {
  if (!m_locking) return;
  m_list.SetLocked(false);
  m_list.ReleaseHold();
}

Datum CDlgWaypoint::ChosenDatum() const { return m_wgs84->isChecked() ? Datum::Wgs84 : Datum::Tokyo; }

void CDlgWaypoint::setFields(const trek::SWaypointInput& in) {
  const std::string* lat[3] = {&in.latDegrees, &in.latMinutes, &in.latSeconds};
  const std::string* lon[3] = {&in.lonDegrees, &in.lonMinutes, &in.lonSeconds};
  for (int i = 0; i < 3; ++i) {
    m_lat[i]->setText(q(*lat[i]));
    m_lon[i]->setText(q(*lon[i]));
  }
  m_name->setText(q(in.name));
  m_gpsName->setText(q(in.gpsName));
  m_desc1->setText(q(in.description1));
  m_desc2->setText(q(in.description2));
  m_comment->setPlainText(q(in.comment));
}

void CDlgWaypoint::Reset() {
  const Datum datum = trek::MarkerDatumFromSetting(m_markerDatum ? *m_markerDatum : 1);
  m_fieldsDatum = datum;  // before the button, so choosing it converts nothing
  (datum == Datum::Wgs84 ? m_wgs84 : m_tokyo)->setChecked(true);
  m_shown.reset();
  const CMarkerPoint* selected = m_list.Selection().kind == kTrekWaypoint ? m_list.SelectedWaypoint() : nullptr;
  if (m_mode == EMode::Edit && selected) {
    setFields(trek::WaypointInputFrom(*selected, datum));
    showPosition({selected->latitude, selected->longitude});
  } else {
    trek::SWaypointInput empty;
    setFields(empty);
    m_grid->clear();
    m_gridTaken.clear();
    m_gridRefused = false;
  }
}

void CDlgWaypoint::showPosition(const trek::SPositionWgs84& position) {
  // The point's own datum shift gives the position in the chosen datum.
  CMarkerPoint probe;
  probe.SetPosition(position.latitude, position.longitude, Datum::Wgs84);
  const trek::SWaypointInput in = trek::WaypointInputFrom(probe, ChosenDatum());
  const std::string* texts[6] = {&in.latDegrees, &in.latMinutes, &in.latSeconds,
                                 &in.lonDegrees, &in.lonMinutes, &in.lonSeconds};
  QLineEdit* fields[6] = {m_lat[0], m_lat[1], m_lat[2], m_lon[0], m_lon[1], m_lon[2]};
  for (int i = 0; i < 6; ++i) {
    m_shownTexts[i] = q(*texts[i]);
    fields[i]->setText(m_shownTexts[i]);
  }
  m_shown = position;
  m_fieldsDatum = ChosenDatum();
  // The grid field follows, so that it never names another place than the angles.
  const std::string mgrs = geodesy::FormatMgrs(position.latitude.ToDegrees(), position.longitude.ToDegrees());
  m_gridTaken = QString::fromStdString(mgrs);
  m_gridRefused = false;
  m_grid->setText(m_gridTaken);
}

bool CDlgWaypoint::TakeGridReference() {
  const QString text = m_grid->text();
  if (text == m_gridTaken) return !m_gridRefused;
  // Taken before the message box: its focus change finishes the edit again.
  m_gridTaken = text;
  const trek::SGridInput in = trek::ParseGridInput(s(text));
  m_gridRefused = in.problem.has_value();
  if (in.problem) {
    (void)trek::ReportInputProblem(in.problem);
    m_grid->setFocus();
    m_grid->selectAll();
    return false;
  }
  if (in.position) showPosition(*in.position);
  return true;
}

bool CDlgWaypoint::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the grid field reads the reference instead of pressing OK.
  if (watched == m_grid && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      (void)TakeGridReference();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool CDlgWaypoint::positionUntouched() const {
  if (!m_shown) return false;
  const QLineEdit* fields[6] = {m_lat[0], m_lat[1], m_lat[2], m_lon[0], m_lon[1], m_lon[2]};
  for (int i = 0; i < 6; ++i)
    if (fields[i]->text() != m_shownTexts[i]) return false;
  return true;
}

void CDlgWaypoint::datumChosen() {
  const Datum to = ChosenDatum();
  if (to == m_fieldsDatum) return;
  const Datum from = m_fieldsDatum;
  m_fieldsDatum = to;
  if (positionUntouched()) {
    showPosition(*m_shown);
    return;
  }
  // Typed by hand: read in the datum they were typed in; left alone when not a position yet.
  const DmsAngle lat = trek::ParseDmsFields(s(m_lat[0]->text()), s(m_lat[1]->text()), s(m_lat[2]->text()));
  const DmsAngle lon = trek::ParseDmsFields(s(m_lon[0]->text()), s(m_lon[1]->text()), s(m_lon[2]->text()));
  if (!lat.IsValid(kAngleLatitude) || !lon.IsValid(kAngleLongitude)) return;
  CMarkerPoint probe;
  probe.SetPosition(lat, lon, from);
  showPosition({probe.latitude, probe.longitude});
}

void CDlgWaypoint::SetPosition(const DmsAngle& latitude, const DmsAngle& longitude, Datum datum) {
  CMarkerPoint probe;
  probe.SetPosition(latitude, longitude, datum);
  showPosition({probe.latitude, probe.longitude});
}

trek::SWaypointInput CDlgWaypoint::Input() const {
  trek::SWaypointInput in;
  in.datum = ChosenDatum();
  in.latDegrees = s(m_lat[0]->text());
  in.latMinutes = s(m_lat[1]->text());
  in.latSeconds = s(m_lat[2]->text());
  in.lonDegrees = s(m_lon[0]->text());
  in.lonMinutes = s(m_lon[1]->text());
  in.lonSeconds = s(m_lon[2]->text());
  in.name = s(m_name->text());
  in.gpsName = s(m_gpsName->text());
  in.description1 = s(m_desc1->text());
  in.description2 = s(m_desc2->text());
  in.comment = s(m_comment->toPlainText());
  if (positionUntouched()) in.exact = m_shown;
  return in;
}

void CDlgWaypoint::accept() {
  // A reference typed but not yet read is read first; one that cannot be read keeps the window.
  if (m_gridRefused && m_grid->text() == m_gridTaken) m_gridTaken = QStringLiteral("\n");  // say it again
  if (!TakeGridReference()) return;
  const trek::SWaypointInput in = Input();
  if (m_mode == EMode::Add) {
    if (!trek::ReportInputProblem(trek::CheckWaypointInput(in))) return;
    if (m_markerDatum) *m_markerDatum = static_cast<std::int32_t>(in.datum);
    std::unique_ptr<CMarkerPoint> point = trek::MakeWaypoint(in);
    if (m_assign) m_assign(*point);
    // Not added (no waypoint group, or the duplicate question answered No): the window stays
    // open and the point is dropped here.
    if (!m_list.AddWaypoint(m_list.SelectedGroupIndex(), std::move(point), true, false)) return;
  } else {
    bool ok = false;
    if (m_editHandler) {
      if (!trek::ReportInputProblem(trek::CheckWaypointInput(in))) return;
      ok = m_editHandler(in);
    } else {
      ok = m_list.EditSelectedWaypoint(in, [this](CMarkerPoint& p) {
        if (m_assign) m_assign(p);
      });
    }
    if (!ok) return;
    if (m_markerDatum) *m_markerDatum = static_cast<std::int32_t>(in.datum);
  }
  finish(true);
}

void CDlgWaypoint::reject() { finish(false); }

void CDlgWaypoint::finish(bool ok) {
  trek::SaveWindowPosition(*this);
  QDialog::done(ok ? QDialog::Accepted : QDialog::Rejected);
  if (ok) emit completed();
  else emit cancelled();
}

void CDlgWaypoint::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    Reset();
    trek::RestoreWindowPosition(*this);
    m_list.SetLocked(true);
    m_list.HoldSelection(m_mode == EMode::Edit);
    m_locking = true;
  }
  QDialog::showEvent(event);
}

void CDlgWaypoint::hideEvent(QHideEvent* event) {
  if (!event->spontaneous() && m_locking) {
    m_list.SetLocked(false);
    m_list.ReleaseHold();
    m_locking = false;
  }
  QDialog::hideEvent(event);
}
