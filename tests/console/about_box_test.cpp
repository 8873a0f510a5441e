// Help > "About Veltra", the window icon, and the scene database named by
// its full path (any file name), as the program entry hands it over.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include "console/build_info.h"
#include "console_support.h"
#include "scenes/scene_table_model.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

class AboutBox : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.isValid()); }
  std::unique_ptr<MainWindow> Window(const QString& sceneDatabase) {
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneDatabase = sceneDatabase;
    return std::make_unique<MainWindow>(options);
  }

  QTemporaryDir folder;
  FakeDialogs dialogs;
};

TEST_F(AboutBox, HelpMenuShowsVersionLicenceAndTheDatabaseInUse) {
  const QString path = folder.filePath(QStringLiteral("site A.sqlite"));
  MakeSceneDatabase(path);
  auto form = Window(path);
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
  EXPECT_TRUE(form->Controller().Scenes().IsOpen());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Veltra --V01"));

  const QList<QAction*> bar = form->menuBar()->actions();
  ASSERT_FALSE(bar.isEmpty());
  EXPECT_EQ(bar.last()->menu(), Menu(*form, "HelpMenu"));
  EXPECT_EQ(Menu(*form, "HelpMenu")->title().remove('&'), QStringLiteral("Help"));
  ASSERT_TRUE(Menu(*form, "HelpMenu")->actions().contains(Action(*form, "AboutVeltra")));
  EXPECT_EQ(Action(*form, "AboutVeltra")->text().remove('&'), QStringLiteral("About Veltra"));

  Action(*form, "AboutVeltra")->trigger();
  ASSERT_EQ(dialogs.abouts.size(), 1);
  const QString about = dialogs.abouts.first();
  EXPECT_TRUE(about.startsWith(QStringLiteral("About Veltra\nVeltra ") + QString::fromUtf8(build::kVersion)))
      << about.toStdString();
  EXPECT_TRUE(about.contains(QString::fromUtf8(build::kCopyrightNotice))) << about.toStdString();
  EXPECT_TRUE(about.endsWith(QStringLiteral("Scene database: ") + path)) << about.toStdString();
  // The title's "--V01" is the same version, and the box says how.
  const QString major = QString::fromUtf8(build::kVersion).section('.', 0, 0);
  const QString titled = QStringLiteral("V%1").arg(major.toInt(), 2, 10, QLatin1Char('0'));
  EXPECT_EQ(form->windowTitle(), "Veltra --" + titled);
  EXPECT_TRUE(about.contains(QStringLiteral("\"--%1\" is this version: its major version, %2, in two digits")
                                 .arg(titled, major)))
      << about.toStdString();
}

TEST_F(AboutBox, AMissingNamedDatabaseIsReportedAndNotCreated) {
  const QString path = folder.filePath(QStringLiteral("missing.mdb"));
  auto form = Window(path);
  EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("Can not find database")});
  EXPECT_FALSE(form->Controller().Scenes().IsOpen());
  EXPECT_FALSE(QFile::exists(path));

  Action(*form, "AboutVeltra")->trigger();
  ASSERT_EQ(dialogs.abouts.size(), 1);
  EXPECT_TRUE(dialogs.abouts.first().endsWith(path + QStringLiteral(" (could not be opened)")))
      << dialogs.abouts.first().toStdString();
}

TEST_F(AboutBox, WindowCarriesTheIconFromSmallToLarge) {
  auto form = Window(QString());
  const QList<QSize> sizes = form->windowIcon().availableSizes();
  for (const int size : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
  EXPECT_FALSE(form->windowIcon().pixmap(32, 32).isNull());
}

}  // namespace
}  // namespace veltra::test
