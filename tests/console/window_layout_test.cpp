// The window at common screen sizes (1280x720, and 1920x1080, also at 150 %
// where it leaves the room of 1280x720), its first screen, the "Bus Scan"
// dialog's width, and the keyboard: mnemonics, the Tab key, Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "console/bus_scan_dialog.h"
#include "console/status_check_box.h"
#include "console_support.h"

namespace veltra::test {
namespace {

// The room a window gets on a screen, less a panel of the desktop.
const QSize k1280x720(1280, 720 - 40);
const QSize k1920x1080(1920, 1080 - 40);

class WindowLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ASSERT_EQ(MakeSceneDatabase(folder.filePath("Veltra.mdb")), CreateResult::Created);
  }
  // On a scene database of its own, so that the grid has its columns.
  std::unique_ptr<MainWindow> Window(bool simulated = false) {
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    if (simulated) {
      SimulatorOptions simulation;
      simulation.pty = false;
      options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    }
    return std::make_unique<MainWindow>(options);
  }
  // The window shown at `size`, active.
  static void Show(MainWindow& window, QSize size) {
    window.resize(size);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();
  }

  QTemporaryDir folder;
  FakeDialogs dialogs;
};

// The letter after '&' of a caption, lower case; nothing without one.
QChar Mnemonic(const QString& caption) {
  for (qsizetype at = caption.indexOf('&'); at >= 0 && at + 1 < caption.size(); at = caption.indexOf('&', at + 2))
    if (caption[at + 1] != '&') return caption[at + 1].toLower();
  return {};
}

TEST_F(WindowLayout, TheFirstScreenIsModuleSettingsAndSaysHowToBegin) {
  for (const bool simulated : {false, true}) {
    SCOPED_TRACE(simulated ? "simulated" : "hardware");
    auto window = Window(simulated);
    EXPECT_EQ(Pages(*window)->currentIndex(), 0);
    EXPECT_EQ(ui::WithoutMnemonic(Pages(*window)->tabText(0)), "Module Settings");
    EXPECT_EQ(window->StatusText(), "Choose a link and press Create");
    // Nothing is sent by itself at start, simulated bus or not.
    EXPECT_TRUE(LogText(*window).isEmpty());
  }
}

TEST(WindowSize, OpensAtASizeThatUsesTheScreenUpToASaneMaximum) {
  const QSize minimum(900, 500);
  EXPECT_EQ(MainWindow::InitialSize(k1280x720, minimum), QSize(1152, 612));
  const QSize large = MainWindow::InitialSize(k1920x1080, minimum);
  EXPECT_EQ(large, QSize(1600, 936));
  EXPECT_EQ(MainWindow::InitialSize(QSize(3840, 2160 - 40), minimum), QSize(1600, 1000));
  // A screen with less room than the window needs: what it needs (it scrolls).
  EXPECT_EQ(MainWindow::InitialSize(QSize(800, 440), minimum), minimum);
}

// On either screen the window opens within it with everything in view: the
// bus switch's buttons and every column of "Scene Information" without
// scrolling, the log at least a quarter of the height with long lines
// wrapped, every button of every page at most a scroll away.
TEST_F(WindowLayout, EverythingIsInViewAt1280By720And1920By1080) {
  for (const QSize screen : {k1280x720, k1920x1080}) {
    SCOPED_TRACE(QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()).toStdString());
    auto window = Window(true);
    const QSize size = MainWindow::InitialSize(screen, window->minimumSizeHint());
    ASSERT_LE(size.width(), screen.width());
    ASSERT_LE(size.height(), screen.height());
    Show(*window, size);

    QPlainTextEdit* log = Memo(*window);
    EXPECT_GE(log->height(), window->height() / 4);
    log->setPlainText(QStringLiteral("Send \uFF1A") + QStringLiteral("55 AA ").repeated(80));
    QCoreApplication::processEvents();
    EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0) << "a long line scrolls sideways";

    ShowPage(*window, "TabSheet1");
    QCoreApplication::processEvents();
    for (QPushButton* button : Sheet(*window, "TabSheet1")->findChildren<QPushButton*>())
      EXPECT_EQ(button->visibleRegion().boundingRect().size(), button->size())
          << "below the fold: " << button->objectName().toStdString();

    ShowPage(*window, "TabSheet2");
    QCoreApplication::processEvents();
    QTableView* grid = Grid(*window);
    ASSERT_EQ(grid->model()->columnCount(), 11);
    EXPECT_LE(grid->horizontalHeader()->length(), grid->viewport()->width()) << "a column is out of view";

    for (int i = 0; i < Pages(*window)->count(); ++i) {
      Pages(*window)->setCurrentIndex(i);
      QCoreApplication::processEvents();
      auto* page = qobject_cast<QScrollArea*>(Pages(*window)->currentWidget());
      ASSERT_NE(page, nullptr);
      for (QPushButton* button : page->findChildren<QPushButton*>()) {
        page->ensureWidgetVisible(button, 0, 0);
        EXPECT_EQ(button->visibleRegion().boundingRect().size(), button->size()) << button->objectName().toStdString();
      }
    }
  }
}

// The smallest the window gets still fits 1280x720 with room for a desktop
// panel, and every button can be scrolled into view.
TEST_F(WindowLayout, UsableAtItsSmallestSize) {
  for (const bool simulated : {false, true}) {
    auto window = Window(simulated);
    const QSize smallest = window->minimumSizeHint();
    EXPECT_LE(smallest.width(), 1280);
    EXPECT_LE(smallest.height(), 720 - 100);
    Show(*window, smallest);
    EXPECT_GE(Memo(*window)->viewport()->height(), 5 * Memo(*window)->fontMetrics().lineSpacing());
    for (int i = 0; i < Pages(*window)->count(); ++i) {
      Pages(*window)->setCurrentIndex(i);
      QCoreApplication::processEvents();
      auto* page = qobject_cast<QScrollArea*>(Pages(*window)->currentWidget());
      for (QPushButton* button : page->findChildren<QPushButton*>()) {
        page->ensureWidgetVisible(button, 0, 0);
        EXPECT_EQ(button->visibleRegion().boundingRect().size(), button->size()) << button->objectName().toStdString();
      }
    }
  }
}

TEST_F(WindowLayout, BusScanOpensWideEnoughForItsColumnsAndEscapeClosesIt) {
  auto window = Window();
  Show(*window, MainWindow::InitialSize(k1280x720, window->minimumSizeHint()));
  Action(*window, "ScanBus")->trigger();
  auto* scan = window->findChild<BusScanDialog*>("BusScan");
  ASSERT_NE(scan, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowActive(scan));
  auto* table = Control<QTableWidget>(*scan, "ScanTable");
  const QHeaderView* header = table->horizontalHeader();
  const QFontMetrics metrics = table->fontMetrics();
  const QString widest[] = {"Address", "Module Type", "Curtain-4 V1.0", "Reply (ms)"};
  for (int c = 0; c < 4; ++c) {
    EXPECT_GE(header->sectionSize(c), metrics.horizontalAdvance(widest[c])) << widest[c].toStdString();
    EXPECT_LE(header->sectionViewportPosition(c) + metrics.horizontalAdvance(widest[c]), table->viewport()->width())
        << widest[c].toStdString() << " is cut off";
  }
  QTest::keyClick(scan, Qt::Key_Escape);
  EXPECT_FALSE(scan->isVisible());
}

// Every tab and every button has a mnemonic, none twice on a page, nor twice
// in the tab bar or in the connection panel; Alt and the letter press it.
TEST_F(WindowLayout, TabsAndButtonsHaveMnemonicsUniqueWithinTheirPage) {
  auto window = Window();
  QSet<QChar> tabs;
  for (int i = 0; i < Pages(*window)->count(); ++i) {
    const QChar letter = Mnemonic(Pages(*window)->tabText(i));
    EXPECT_FALSE(letter.isNull()) << Pages(*window)->tabText(i).toStdString();
    EXPECT_FALSE(tabs.contains(letter)) << Pages(*window)->tabText(i).toStdString();
    tabs.insert(letter);
  }
  for (const char* part : {"TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4", "TabSheet5", "TabSheet6", "GroupBox1"}) {
    QSet<QChar> letters;
    for (QAbstractButton* button : Sheet(*window, part)->findChildren<QAbstractButton*>()) {
      if (!button->isVisibleTo(window.get())) continue;  // the hidden switches
      if (qobject_cast<StatusCheckBox*>(button)) continue;  // shown, never pressed
      const QChar letter = Mnemonic(button->text());
      EXPECT_FALSE(letter.isNull()) << part << ": " << button->objectName().toStdString();
      EXPECT_FALSE(letters.contains(letter)) << part << ": " << button->text().toStdString();
      letters.insert(letter);
    }
  }

  Show(*window, MainWindow::InitialSize(k1280x720, window->minimumSizeHint()));
  QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);  // "I&nput Module Control"
  EXPECT_EQ(Pages(*window)->currentWidget(), Sheet(*window, "TabSheet6"));
  QTest::keyClick(window.get(), Qt::Key_A, Qt::AltModifier);  // "Cle&ar" of the input binding
  // A button pressed by its mnemonic is seen pressed, then clicks.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !LogText(*window).isEmpty(); }, 2000));
  EXPECT_TRUE(LogText(*window).startsWith(QString::fromUtf8("Not sent \xEF\xBC\x9A"))) << LogText(*window).toStdString();
}

// Status boxes and "Local IP " are read, not edited: the Tab key passes them
// by, and no page's scroll area takes a stop of its own.
TEST_F(WindowLayout, TheTabKeyPassesWhatIsShownOnlyBy) {
  auto window = Window();
  Show(*window, MainWindow::InitialSize(k1280x720, window->minimumSizeHint()));
  for (const char* sheet : {"TabSheet3", "TabSheet4"}) {
    ShowPage(*window, sheet);
    Spin(*window, "SpinEdit7")->setFocus();
    QSet<QWidget*> reached;
    for (int i = 0; i < 120; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      reached.insert(QApplication::focusWidget());
    }
    for (QCheckBox* box : sheet == std::string("TabSheet3") ? LightBoxes(*window) : CurtainBoxes(*window))
      EXPECT_FALSE(reached.contains(box)) << box->text().toStdString();
    EXPECT_FALSE(reached.contains(Edit(*window, "Edit3")));
    EXPECT_TRUE(reached.contains(Button(*window, sheet == std::string("TabSheet3") ? "Button11" : "Button19")));
    for (QWidget* stop : reached) EXPECT_EQ(qobject_cast<QScrollArea*>(stop), nullptr) << stop->objectName().toStdString();
  }
}

// Every message box of the window closes with Escape, a question with No.
TEST(Keyboard, EscapeClosesEveryMessageBox) {
  QWidget parent;
  MessageBoxDialogs boxes(&parent);
  int left = 0;  // boxes Escape did not close: closed by hand after a while
  QTimer escape;
  int tries = 0;
  QObject::connect(&escape, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (++tries > 20) {
      ++left;
      box->done(QMessageBox::Yes);
      return;
    }
    QTest::keyClick(box, Qt::Key_Escape);
  });
  escape.start(50);
  EXPECT_FALSE(boxes.Confirm(QStringLiteral("Are you sure?"), QStringLiteral("Module 3 on subnet 1")));
  tries = 0;
  EXPECT_FALSE(boxes.ConfirmQuit(QStringLiteral("A link is open. Quit and close it?")).quit);
  tries = 0;
  boxes.Warning(QStringLiteral("Error!"), QStringLiteral("details"));
  tries = 0;
  boxes.Message(QStringLiteral("No records!"));
  tries = 0;
  boxes.ShowError(QStringLiteral("failed"));
  tries = 0;
  boxes.About(QStringLiteral("About Veltra"), QStringLiteral("Veltra"));
  EXPECT_EQ(left, 0);
}

}  // namespace
}  // namespace veltra::test
