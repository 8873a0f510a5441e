// The window in simulation mode, end to end over each link: buttons clicked,
// requests through the real send path to the in-process simulated bus, its
// replies decoded into the window. Then replies dropped or garbled by the
// simulator, which must leave the window as it was.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

#include "console/spin_edit.h"
#include "console_support.h"
#include "scenes/scene_store_schema.h"
#include "serial/comm.h"

namespace veltra::test {
namespace {

enum class Link { Udp, Serial };

std::string LinkName(const ::testing::TestParamInfo<Link>& info) {
  return info.param == Link::Udp ? "Udp" : "Serial";
}

class SimulatedBus : public ::testing::TestWithParam<Link> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  // What the simulator's threads and the serial reader log into: declared
  // before the window, so it outlives the simulator the window stops.
  std::mutex mutex;
  std::vector<std::string> simulatorLines;
  int serialChunks = 0;
  std::unique_ptr<MainWindow> form;

  // The window on a fresh scene database and a fresh simulated bus, with the
  // link under test open.
  void Start(SimFaults faults = {}) {
    ASSERT_TRUE(folder.isValid());
    MakeSceneDatabase(folder.filePath("Veltra.mdb"));
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    SimulatorOptions simulation;
    simulation.faults = faults;
    simulation.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      simulatorLines.push_back(line);
    };
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<MainWindow>(options);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
    // Count what the serial reader hands to the window, then let it through.
    form->Controller().Serial().Port().OnReceiveData = [this, deliver = form->Controller().Serial().Port().OnReceiveData](
                                     TComm& sender, const std::uint8_t* bytes, std::uint16_t length) {
      ++serialChunks;
      deliver(sender, bytes, length);
    };
    if (GetParam() == Link::Udp) {
      Radio(*form, "RadioButton1")->setChecked(true);
      Button(*form, "Button32")->click();
      ASSERT_EQ(Caption(*form, "Button32"), "Close");
    } else {
      Radio(*form, "RadioButton2")->setChecked(true);
      Button(*form, "Button10")->click();
      ASSERT_EQ(Caption(*form, "Button10"), "Close");
    }
  }

  QStringList Log() { return LogText(*form).split('\n', Qt::SkipEmptyParts); }

  // Clicks and waits until the request is over, its reply in the monitor log.
  bool Request(QPushButton* button) {
    const auto before = Log().size();
    return ClickAndWait(*form, button) && Log().size() >= before + 2;
  }

  // Clicks and waits until the request is over and, on the serial line, the
  // reply has come back through the reader, whatever it was.
  bool RequestAnswered(QPushButton* button) {
    const int before = serialChunks;
    if (!ClickAndWait(*form, button)) return false;
    if (GetParam() == Link::Udp) return true;
    return QTest::qWaitFor([&] { return serialChunks > before; }, 3000);
  }

  bool WaitForSimulatorLine(const std::string& part) {
    return QTest::qWaitFor(
        [&] {
          std::lock_guard lock(mutex);
          for (const std::string& line : simulatorLines)
            if (line.find(part) != std::string::npos) return true;
          return false;
        },
        3000);
  }

  std::vector<bool> Lights() const { return States(LightBoxes(*form)); }
  std::vector<bool> Curtains() const { return States(CurtainBoxes(*form)); }

  // The grid's rows as "scene,module,CH1..CH8".
  QStringList SceneRows() const {
    QAbstractItemModel* model = Grid(*form)->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
      QStringList cells;
      for (const char* title : {"Scene No", "Module Addr", "CH1", "CH2", "CH3", "CH4", "CH5", "CH6", "CH7", "CH8"})
        for (int c = 0; c < model->columnCount(); ++c)
          if (model->headerData(c, Qt::Horizontal).toString() == title) cells << model->index(r, c).data().toString();
      rows << cells.join(',');
    }
    return rows;
  }

  // Every field of the bus switch group, in screen order.
  std::vector<QLineEdit*> BusSwitchEdits() const {
    const MainWindow& f = *form;
    return {Edit(f, "Edit9"),  Edit(f, "edt5"),   Edit(f, "Edit15"), Edit(f, "Edit17"), Edit(f, "Edit11"), Edit(f, "Edit21"), Edit(f, "Edit22"), Edit(f, "Edit23"), Edit(f, "Edit24"),
            Edit(f, "Edit25"), Edit(f, "Edit26"), Edit(f, "Edit27"), Edit(f, "Edit28"), Edit(f, "Edit29"), Edit(f, "Edit30"), Edit(f, "Edit31"), Edit(f, "Edit32"), Edit(f, "edt3"),
            Edit(f, "Edit7"),  Edit(f, "Edit8"),  Edit(f, "Edit33"), Edit(f, "Edit34"), Edit(f, "Edit35"), Edit(f, "Edit36")};
  }
  QStringList BusSwitchTexts() const {
    QStringList texts{QString::number(Spin(*form, "SpinEdit12")->Value())};
    for (QLineEdit* edit : BusSwitchEdits()) texts << edit->text();
    return texts;
  }
};

TEST_P(SimulatedBus, SwitchedOutputsShowInTheStatusBoxes) {
  Start();
  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet3"));
  Spin(*form, "SpinEdit2")->SetValue(2);
  Spin(*form, "SpinEdit3")->SetValue(3);
  ASSERT_TRUE(Request(Button(*form, "Button2")));  // "On"
  ASSERT_TRUE(Request(Button(*form, "Button11")));  // "Read"
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, true, false, false, false, false, false}));
  ASSERT_TRUE(Request(Button(*form, "Button5")));  // "All On"
  Spin(*form, "SpinEdit3")->SetValue(8);
  ASSERT_TRUE(Request(Button(*form, "Button4")));  // "On/Off" of output 8
  ASSERT_TRUE(Request(Button(*form, "Button11")));
  EXPECT_EQ(Lights(), (std::vector<bool>{true, true, true, true, true, true, true, false}));

  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet4"));
  Spin(*form, "SpinEdit9")->SetValue(3);
  Spin(*form, "SpinEdit10")->SetValue(2);
  ASSERT_TRUE(Request(Button(*form, "Button14")));  // "Open"
  ASSERT_TRUE(Request(Button(*form, "Button19")));  // "Read"
  EXPECT_EQ(Curtains(), (std::vector<bool>{false, true, false, false}));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, ProgrammedSceneIsInTheGridAndTestingItSwitchesTheModule) {
  Start();
  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet2"));
  Spin(*form, "SpinEdit5")->SetValue(1);
  Spin(*form, "SpinEdit4")->SetValue(5);
  Spin(*form, "SpinEdit6")->SetValue(8);  // all eight channels go to the module
  ChannelList(*form, 0)->setCurrentText("ON");
  ChannelList(*form, 1)->setCurrentText("OFF");
  ChannelList(*form, 3)->setCurrentText("ON");
  ASSERT_TRUE(Request(Button(*form, "Button7")));  // "Set"
  EXPECT_EQ(SceneRows(), QStringList{"5,1,1,0,X,1,X,X,X,X"});
  EXPECT_TRUE(Log().last().endsWith("OK!")) << Log().last().toStdString();

  ASSERT_TRUE(Request(Button(*form, "Button8")));  // "Test": the module takes the scene
  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet3"));
  Spin(*form, "SpinEdit2")->SetValue(1);
  ASSERT_TRUE(Request(Button(*form, "Button11")));
  EXPECT_EQ(Lights(), (std::vector<bool>{true, false, false, true, false, false, false, false}));

  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet2"));
  ASSERT_TRUE(Request(Button(*form, "Button13")));  // "Clear": the module's scenes leave the grid
  EXPECT_TRUE(SceneRows().isEmpty());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, BusSwitchConfigurationWrittenIsReadBackFieldByField) {
  Start();
  // The bus switch's requests and replies are routed frames; on the serial
  // line the window decodes those in its monitor mode.
  Check(*form, "CheckBox13")->setChecked(GetParam() == Link::Serial);
  const QStringList written{"9",   "10",  "1",   "2",   "3",  "6000", "255", "255", "255", "0",  "10", "1", "2",
                            "254", "10",  "1",   "2",   "100", "6001", "02", "AB",  "CD",  "EF", "01", "23"};
  Spin(*form, "SpinEdit12")->SetValue(written[0].toInt());
  const std::vector<QLineEdit*> edits = BusSwitchEdits();
  for (std::size_t i = 0; i < edits.size(); ++i) edits[i]->setText(written[static_cast<qsizetype>(i) + 1]);
  ASSERT_TRUE(Request(Button(*form, "btn1")));  // "Set"
  EXPECT_TRUE(Log().last().endsWith("OK!")) << Log().last().toStdString();

  Spin(*form, "SpinEdit12")->SetValue(0);
  for (QLineEdit* edit : edits) edit->clear();
  ASSERT_TRUE(Request(Button(*form, "btn2")));  // "Read": to 127.0.0.1 over UDP, or on the serial line
  EXPECT_EQ(BusSwitchTexts(), written);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, DroppedReplyLeavesOnlyTheSendLine) {
  SimFaults faults;
  faults.dropEvery = 1;
  Start(faults);
  Spin(*form, "SpinEdit1")->SetValue(1);
  Button(*form, "Button12")->click();  // "Read Module Type"
  ASSERT_TRUE(WaitForSimulatorLine("reply dropped"));
  QCoreApplication::processEvents();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
  EXPECT_TRUE(log[0].startsWith(QString::fromUtf8("Send \xEF\xBC\x9A"))) << log[0].toStdString();
  EXPECT_TRUE(Edit(*form, "Edit1")->text().isEmpty());
  EXPECT_EQ(serialChunks, 0);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, GarbageRepliesChangeNothing) {
  SimFaults faults;
  faults.garbageEvery = 1;  // every reply, the four kinds of garbage in turn
  Start(faults);
  // Nothing that answers comes: each wait is cut short.
  form->Controller().Network().Client().ReceiveTimeout = 150;
  form->Controller().Serial().ReceiveTimeout = 150;
  Pages(*form)->setCurrentWidget(Sheet(*form, "TabSheet3"));
  for (QCheckBox* box : LightBoxes(*form)) box->setChecked(true);  // module 1's outputs are all off
  Spin(*form, "SpinEdit1")->SetValue(1);
  Spin(*form, "SpinEdit2")->SetValue(1);

  ASSERT_TRUE(RequestAnswered(Button(*form, "Button12")));  // "Read Module Type"
  ASSERT_TRUE(RequestAnswered(Button(*form, "Button29")));  // "Read Software Version"
  ASSERT_TRUE(RequestAnswered(Button(*form, "Button11")));  // light "Read"
  ASSERT_TRUE(RequestAnswered(Button(*form, "Button23")));  // "Test"
  ASSERT_TRUE(RequestAnswered(Button(*form, "btn2")));      // bus switch "Read", over the selected link
  EXPECT_EQ(serialChunks, GetParam() == Link::Serial ? 5 : 0);

  const QStringList log = Log();
  EXPECT_EQ(log.size(), 5) << log.join('\n').toStdString();
  for (const QString& line : log)
    EXPECT_TRUE(line.startsWith(QString::fromUtf8("Send \xEF\xBC\x9A"))) << line.toStdString();
  EXPECT_TRUE(Edit(*form, "Edit1")->text().isEmpty());
  EXPECT_TRUE(Edit(*form, "Edit2")->text().isEmpty());
  EXPECT_EQ(Lights(), std::vector<bool>(8, true));
  for (QLineEdit* edit : BusSwitchEdits()) EXPECT_TRUE(edit->text().isEmpty()) << edit->objectName().toStdString();
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
  // The simulator did answer every request: with garbage.
  std::lock_guard lock(mutex);
  int replies = 0;
  for (const std::string& line : simulatorLines)
    if (line.find("< ") != std::string::npos) ++replies;
  EXPECT_EQ(replies, 5);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, SimulatedBus, ::testing::Values(Link::Udp, Link::Serial), LinkName);

}  // namespace
}  // namespace veltra::test
