#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Widgets run on the offscreen platform and settings never touch the user's profile.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QStandardPaths::setTestModeEnabled(true);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Kestrelsoft"));
  QApplication::setApplicationName(QStringLiteral("Vantoria"));
  return RUN_ALL_TESTS();
}
