// The waypoint window's grid reference field: a UTM or MGRS reference shows as angles at once,
// one that cannot be read is refused with its reason, and OK stores the position it named.
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "geodesy/GridReference.h"
#include "platform/IProfileStore.h"
#include "platform/IPrompt.h"
#include "trek/CTrekGroupList.h"
#include "trek/TrekEditing.h"
#include "trek/ui/CDlgWaypoint.h"

namespace {

class GridReferenceField : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setProfile(&profile);
    platform::setPrompt(&prompt);
    auto wp = std::make_unique<CTrekData>();
    wp->SetKind(kTrekWaypointGroup);
    wp->SetGroupName("Walk");
    list.AppendGroup(std::move(wp));
    ASSERT_TRUE(list.Select({kTrekNone, 0, nullptr, nullptr, -1}));
  }
  void TearDown() override {
    platform::setPrompt(nullptr);
    platform::setProfile(nullptr);
  }
  static QLineEdit* field(QWidget& dlg, const char* name) { return dlg.findChild<QLineEdit*>(name); }
  static void typeGrid(QWidget& dlg, const QString& text) {
    QLineEdit* grid = field(dlg, "gridRefEdit");
    ASSERT_NE(grid, nullptr);
    grid->setFocus();
    grid->clear();
    QTest::keyClicks(grid, text);
    QTest::keyClick(grid, Qt::Key_Return);
  }

  platform::CMemoryProfile profile;
  platform::CScriptedPrompt prompt;
  CTrekGroupList list;
};

TEST_F(GridReferenceField, ReferencesShowAsAnglesAndOkStoresThem) {
  const struct {
    const char* name;
    const char* text;
    bool tokyoFields;
  } kGood[] = {
      {"MGRS", "54S UE 88435 49293", false},
      {"MGRS lower case, packed", "54sue8843549293", true},
      {"MGRS 6 digits", "54S UE 884 492", false},
      {"UTM", "54S 388435 3949293", true},
  };
  for (const auto& c : kGood) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Add);
    dlg.show();
    (c.tokyoFields ? dlg.findChild<QRadioButton*>("datumTokyo") : dlg.findChild<QRadioButton*>("datumWgs84"))
        ->setChecked(true);
    typeGrid(dlg, QString::fromUtf8(c.text));
    EXPECT_TRUE(prompt.texts().empty());
    EXPECT_TRUE(dlg.isVisible()) << "Enter reads the reference instead of pressing OK";
    const geodesy::SGridParse want = geodesy::ParseGridReference(c.text);
    ASSERT_TRUE(want.position);
    const trek::SWaypointInput in = dlg.Input();
    ASSERT_TRUE(in.exact) << "the angle fields show the reference's position";
    EXPECT_NEAR(in.exact->latitude.ToDegrees(), want.position->latitude, 1e-9);
    EXPECT_NEAR(in.exact->longitude.ToDegrees(), want.position->longitude, 1e-9);
    EXPECT_EQ(field(dlg, "latDeg")->text(), QStringLiteral("35"));
    EXPECT_EQ(field(dlg, "lonDeg")->text(), QStringLiteral("139"));
    // The field now names the same place in the program's own form.
    EXPECT_TRUE(field(dlg, "gridRefEdit")->text().startsWith(QStringLiteral("54S UE ")));

    field(dlg, "nameEdit")->setText(QStringLiteral("Station"));
    QTest::mouseClick(dlg.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    const auto& points = list.Group(0)->Waypoints();
    ASSERT_FALSE(points.empty());
    EXPECT_NEAR(points.back()->latitude.ToDegrees(), want.position->latitude, 1e-9);
    EXPECT_NEAR(points.back()->longitude.ToDegrees(), want.position->longitude, 1e-9);
  }
}

TEST_F(GridReferenceField, BadReferencesAreRefusedWithTheirReason) {
  const struct {
    const char* name;
    const char* text;
    const char* reason;
  } kBad[] = {
      {"odd digits", "54SUE123", "MGRSの数字は東と北が同じ桁数です (合わせて2、4、6、8、10桁)。"},
      {"band letter", "54IUE1234", "緯度帯の文字が正しくありません (C～X、IとOを除く)。"},
      {"square letters", "54SAE1234", "100kmグリッドの文字がこのゾーンにはありません。"},
      {"zone", "61S 388435 3949293", "UTMのゾーン番号は1から60です。"},
      {"words", "Fuji", "例: 54S UE 12345 67890 (MGRS)、54S 388435 3949293 (UTM)"},
      {"off the maps", "31U DQ 48251 11932", "地形図の範囲 (北緯23～50度、東経120～154度) の位置ではありません。"},
  };
  for (const auto& c : kBad) {
    SCOPED_TRACE(c.name);
    prompt.clear();
    CDlgWaypoint dlg(list, CDlgWaypoint::EMode::Add);
    dlg.show();
    typeGrid(dlg, QString::fromUtf8(c.text));
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_EQ(prompt.texts()[0], std::string("「") + c.text + "」は位置として読めません。\r\n" + c.reason);
    EXPECT_TRUE(field(dlg, "latDeg")->text().isEmpty()) << "the angle fields are left as they were";
    // OK with the refused reference still there says so again and keeps the window.
    field(dlg, "nameEdit")->setText(QStringLiteral("X"));
    QTest::mouseClick(dlg.findChild<QDialogButtonBox*>("buttons")->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_EQ(prompt.texts().size(), 2u);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(list.Group(0)->Waypoints().empty());
  }
}

}  // namespace
