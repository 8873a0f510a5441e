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
  std::unique_ptr<TForm1> form;

  // The window on a fresh scene database and a fresh simulated bus, with the
  // link under test open.
  void Start(SimFaults faults = {}) {
    ASSERT_TRUE(folder.isValid());
    CreateSceneDatabase(QStringLiteral(VELTRA_SCENE_SCHEMA), folder.filePath("Veltra.mdb"));
    TForm1Options options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    SimulatorOptions simulation;
    simulation.faults = faults;
    simulation.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      simulatorLines.push_back(line);
    };
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<TForm1>(options);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
    // Count what the serial reader hands to the window, then let it through.
    form->Comm1->OnReceiveData = [this, deliver = form->Comm1->OnReceiveData](
                                     TComm& sender, const std::uint8_t* bytes, std::uint16_t length) {
      ++serialChunks;
      deliver(sender, bytes, length);
    };
    if (GetParam() == Link::Udp) {
      form->RadioButton1->setChecked(true);
      form->Button32->click();
      ASSERT_EQ(form->Button32->text(), "Close");
    } else {
      form->RadioButton2->setChecked(true);
      form->Button10->click();
      ASSERT_EQ(form->Button10->text(), "Close");
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

  std::vector<bool> Boxes(const std::vector<QCheckBox*>& boxes) const {
    std::vector<bool> states;
    for (QCheckBox* box : boxes) states.push_back(box->isChecked());
    return states;
  }
  std::vector<bool> Lights() const { return Boxes({form->lightBoxes.begin(), form->lightBoxes.end()}); }
  std::vector<bool> Curtains() const { return Boxes({form->curtainBoxes.begin(), form->curtainBoxes.end()}); }

  // The grid's rows as "scene,module,CH1..CH8".
  QStringList SceneRows() const {
    QAbstractItemModel* model = form->DBGrid1->model();
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
    const TForm1& f = *form;
    return {f.Edit9,  f.edt5,   f.Edit15, f.Edit17, f.Edit11, f.Edit21, f.Edit22, f.Edit23, f.Edit24,
            f.Edit25, f.Edit26, f.Edit27, f.Edit28, f.Edit29, f.Edit30, f.Edit31, f.Edit32, f.edt3,
            f.Edit7,  f.Edit8,  f.Edit33, f.Edit34, f.Edit35, f.Edit36};
  }
  QStringList BusSwitchTexts() const {
    QStringList texts{QString::number(form->SpinEdit12->Value())};
    for (QLineEdit* edit : BusSwitchEdits()) texts << edit->text();
    return texts;
  }
};

TEST_P(SimulatedBus, SwitchedOutputsShowInTheStatusBoxes) {
  Start();
  form->PageControl1->setCurrentWidget(form->TabSheet3);
  form->SpinEdit2->SetValue(2);
  form->SpinEdit3->SetValue(3);
  ASSERT_TRUE(Request(form->Button2));  // "On"
  ASSERT_TRUE(Request(form->Button11));  // "Read"
  EXPECT_EQ(Lights(), (std::vector<bool>{false, false, true, false, false, false, false, false}));
  ASSERT_TRUE(Request(form->Button5));  // "All On"
  form->SpinEdit3->SetValue(8);
  ASSERT_TRUE(Request(form->Button4));  // "On/Off" of output 8
  ASSERT_TRUE(Request(form->Button11));
  EXPECT_EQ(Lights(), (std::vector<bool>{true, true, true, true, true, true, true, false}));

  form->PageControl1->setCurrentWidget(form->TabSheet4);
  form->SpinEdit9->SetValue(3);
  form->SpinEdit10->SetValue(2);
  ASSERT_TRUE(Request(form->Button14));  // "Open"
  ASSERT_TRUE(Request(form->Button19));  // "Read"
  EXPECT_EQ(Curtains(), (std::vector<bool>{false, true, false, false}));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, ProgrammedSceneIsInTheGridAndTestingItSwitchesTheModule) {
  Start();
  form->PageControl1->setCurrentWidget(form->TabSheet2);
  form->SpinEdit5->SetValue(1);
  form->SpinEdit4->SetValue(5);
  form->SpinEdit6->SetValue(8);  // all eight channels go to the module
  form->channelLists[0]->setCurrentText("ON");
  form->channelLists[1]->setCurrentText("OFF");
  form->channelLists[3]->setCurrentText("ON");
  ASSERT_TRUE(Request(form->Button7));  // "Set"
  EXPECT_EQ(SceneRows(), QStringList{"5,1,1,0,X,1,X,X,X,X"});
  EXPECT_TRUE(Log().last().endsWith("OK!")) << Log().last().toStdString();

  ASSERT_TRUE(Request(form->Button8));  // "Test": the module takes the scene
  form->PageControl1->setCurrentWidget(form->TabSheet3);
  form->SpinEdit2->SetValue(1);
  ASSERT_TRUE(Request(form->Button11));
  EXPECT_EQ(Lights(), (std::vector<bool>{true, false, false, true, false, false, false, false}));

  form->PageControl1->setCurrentWidget(form->TabSheet2);
  ASSERT_TRUE(Request(form->Button13));  // "Clear": the module's scenes leave the grid
  EXPECT_TRUE(SceneRows().isEmpty());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, BusSwitchConfigurationWrittenIsReadBackFieldByField) {
  Start();
  // The bus switch's requests and replies are routed frames; on the serial
  // line the window decodes those in its monitor mode.
  form->CheckBox13->setChecked(GetParam() == Link::Serial);
  const QStringList written{"9",   "10",  "1",   "2",   "3",  "6000", "255", "255", "255", "0",  "10", "1", "2",
                            "254", "10",  "1",   "2",   "100", "6001", "02", "AB",  "CD",  "EF", "01", "23"};
  form->SpinEdit12->SetValue(written[0].toInt());
  const std::vector<QLineEdit*> edits = BusSwitchEdits();
  for (std::size_t i = 0; i < edits.size(); ++i) edits[i]->setText(written[static_cast<qsizetype>(i) + 1]);
  ASSERT_TRUE(Request(form->btn1));  // "Set"
  EXPECT_TRUE(Log().last().endsWith("OK!")) << Log().last().toStdString();

  form->SpinEdit12->SetValue(0);
  for (QLineEdit* edit : edits) edit->clear();
  ASSERT_TRUE(Request(form->btn2));  // "Read": to 127.0.0.1 over UDP, or on the serial line
  EXPECT_EQ(BusSwitchTexts(), written);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, DroppedReplyLeavesOnlyTheSendLine) {
  SimFaults faults;
  faults.dropEvery = 1;
  Start(faults);
  form->SpinEdit1->SetValue(1);
  form->Button12->click();  // "Read Module Type"
  ASSERT_TRUE(WaitForSimulatorLine("reply dropped"));
  QCoreApplication::processEvents();
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
  EXPECT_TRUE(log[0].startsWith(QString::fromUtf8("Send \xEF\xBC\x9A"))) << log[0].toStdString();
  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_EQ(serialChunks, 0);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SimulatedBus, GarbageRepliesChangeNothing) {
  SimFaults faults;
  faults.garbageEvery = 1;  // every reply, the four kinds of garbage in turn
  Start(faults);
  // Nothing that answers comes: each wait is cut short.
  form->IdUDPClient1.ReceiveTimeout = 150;
  form->serialLink->ReceiveTimeout = 150;
  form->PageControl1->setCurrentWidget(form->TabSheet3);
  for (QCheckBox* box : form->lightBoxes) box->setChecked(true);  // module 1's outputs are all off
  form->SpinEdit1->SetValue(1);
  form->SpinEdit2->SetValue(1);

  ASSERT_TRUE(RequestAnswered(form->Button12));  // "Read Module Type"
  ASSERT_TRUE(RequestAnswered(form->Button29));  // "Read Software Version"
  ASSERT_TRUE(RequestAnswered(form->Button11));  // light "Read"
  ASSERT_TRUE(RequestAnswered(form->Button23));  // "Test"
  ASSERT_TRUE(RequestAnswered(form->btn2));      // bus switch "Read", over the selected link
  EXPECT_EQ(serialChunks, GetParam() == Link::Serial ? 5 : 0);

  const QStringList log = Log();
  EXPECT_EQ(log.size(), 5) << log.join('\n').toStdString();
  for (const QString& line : log)
    EXPECT_TRUE(line.startsWith(QString::fromUtf8("Send \xEF\xBC\x9A"))) << line.toStdString();
  EXPECT_TRUE(form->Edit1->text().isEmpty());
  EXPECT_TRUE(form->Edit2->text().isEmpty());
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
