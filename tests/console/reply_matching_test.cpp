// Every reply answers its own request, in the window: late replies and
// frames that answer nothing are logged and change nothing, results go to
// the request that asked (with the values it sent), one request at a time
// for the window and the bus scan together, result fields never show an
// older answer, and the window goes on while a request waits.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "../support/bytes.h"
#include "console/bus_scan_dialog.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

const QString kNoReply = QStringLiteral("No reply within 500 ms");
const QString kWaiting = QStringLiteral("Waiting for the reply to the last request");

QStringList Lines(MainWindow& form) { return LogText(form).split('\n', Qt::SkipEmptyParts); }
int Count(MainWindow& form, const QString& start) { return static_cast<int>(Lines(form).filter(QRegularExpression("^" + start)).size()); }

// "scene,module,CH1..CH8" of every record in the grid.
QStringList SceneRows(MainWindow& form) {
  QAbstractItemModel* model = Grid(form)->model();
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

// ---------------------------------------------------------------- against the simulated bus, over each link

enum class Over { Udp, Serial };

class SlowBus : public ::testing::TestWithParam<Over> {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::unique_ptr<MainWindow> form;

  // The window on a scene database and a simulated bus whose replies leave
  // `delayMs` late, the link under test open.
  void Start(int delayMs, const std::string& population = "default") {
    ASSERT_TRUE(folder.isValid());
    MakeSceneDatabase(folder.filePath("Veltra.mdb"));
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    SimulatorOptions simulation;
    simulation.population = ParsePopulation(population);
    simulation.faults.delayMs = delayMs;
    options.simulator = std::make_shared<SimulatorRuntime>(simulation);
    form = std::make_unique<MainWindow>(options);
    const bool udp = GetParam() == Over::Udp;
    (udp ? Radio(*form, "RadioButton1") : Radio(*form, "RadioButton2"))->setChecked(true);
    (udp ? Button(*form, "Button32") : Button(*form, "Button10"))->click();
    ASSERT_EQ(Caption(*form, udp ? "Button32" : "Button10"), "Close");
  }
};

TEST_P(SlowBus, RepliesThatComeTooLateAreLoggedAsLateAndAnswerNothing) {
  Start(700);
  Spin(*form, "SpinEdit2")->SetValue(1);
  for (QCheckBox* box : LightBoxes(*form)) box->setChecked(true);  // module 1 has them all off
  for (QPushButton* button : {Button(*form, "Button6"), Button(*form, "Button2"), Button(*form, "Button11")}) {  // "All Off", "On", "Read"
    const QString name = button->text();
    ASSERT_TRUE(ClickAndWait(*form, button)) << name.toStdString();
    // Never "answered" by the reply to the request before it.
    EXPECT_EQ(form->ExchangeText(), kNoReply) << name.toStdString();
  }
  // The reply to "Read" comes too, late: it sets no box.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Count(*form, "Late reply: ") == 3; }, 2000)) << LogText(*form).toStdString();
  EXPECT_EQ(Count(*form, "Read "), 0) << LogText(*form).toStdString();
  for (QCheckBox* box : LightBoxes(*form)) EXPECT_TRUE(box->isChecked()) << box->text().toStdString();
  EXPECT_EQ(form->ExchangeText(), kNoReply);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SlowBus, AfterStopOfAScanTheSceneTableFollowsWhatWasConfirmed) {
  Start(300);
  Action(*form, "ScanBus")->trigger();
  auto* scan = form->findChild<BusScanDialog*>("BusScan");
  ASSERT_NE(scan, nullptr);
  Control<QSpinBox>(*scan, "From")->setValue(1);
  Control<QSpinBox>(*scan, "To")->setValue(8);
  Button(*scan, "Start")->click();
  // Stopped while the version read of module 1 waits for its reply.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QTableWidget>(*scan, "ScanTable")->rowCount() == 1; }, 3000));
  QTest::qWait(50);
  Button(*scan, "Stop")->click();

  Spin(*form, "SpinEdit5")->SetValue(1);
  Spin(*form, "SpinEdit4")->SetValue(5);
  ChannelList(*form, 0)->setCurrentText("ON");
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button7")));  // "Set"
  // Its own confirmation, a round trip of the bus's pace; the version reply
  // came meanwhile and is a late one.
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Reply in \\d\\d\\d ms$")).match(form->ExchangeText()).hasMatch())
      << form->ExchangeText().toStdString();
  EXPECT_EQ(Count(*form, "Late reply: "), 1) << LogText(*form).toStdString();
  EXPECT_EQ(SceneRows(*form), QStringList{"5,1,1,X,X,X,X,X,X,X"});

  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button13")));  // "Clear": module 1's scenes go
  EXPECT_TRUE(SceneRows(*form).isEmpty());
  QTest::qWait(400);  // nothing that still comes brings a record back
  EXPECT_TRUE(SceneRows(*form).isEmpty());
  EXPECT_EQ(Control<QTableWidget>(*scan, "ScanTable")->rowCount(), 1);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_P(SlowBus, ABusScanWithLateRepliesListsOnlyWhatAnsweredIt) {
  Start(700, "light@1,light@2,light@3");
  Action(*form, "ScanBus")->trigger();
  auto* scan = form->findChild<BusScanDialog*>("BusScan");
  ASSERT_NE(scan, nullptr);
  Control<QSpinBox>(*scan, "From")->setValue(1);
  Control<QSpinBox>(*scan, "To")->setValue(3);
  Button(*scan, "Start")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !scan->Running(); }, 5000));
  EXPECT_EQ(Control<QTableWidget>(*scan, "ScanTable")->rowCount(), 0);
  EXPECT_EQ(Label(*scan, "ScanStatus")->text(), "Done: 0 modules");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Count(*form, "Late reply: ") == 3; }, 2000)) << LogText(*form).toStdString();
}

TEST_P(SlowBus, AResultFieldShowsOnlyTheAnswerToItsOwnRequest) {
  Start(0);
  Spin(*form, "SpinEdit1")->SetValue(1);
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button12")));
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button29")));
  ASSERT_EQ(Edit(*form, "Edit1")->text(), "0208");
  ASSERT_EQ(Edit(*form, "Edit2")->text(), "Light-8 V1.0");

  Spin(*form, "SpinEdit1")->SetValue(9);  // nobody there
  Button(*form, "Button12")->click();
  EXPECT_TRUE(Edit(*form, "Edit1")->text().isEmpty()) << "emptied as the request goes";
  ASSERT_TRUE(WaitUntilIdle(*form));
  EXPECT_TRUE(Edit(*form, "Edit1")->text().isEmpty());
  EXPECT_EQ(form->ExchangeText(), kNoReply);
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button29")));
  EXPECT_TRUE(Edit(*form, "Edit2")->text().isEmpty());
  EXPECT_EQ(form->ExchangeText(), kNoReply);
}

INSTANTIATE_TEST_SUITE_P(BothLinks, SlowBus, ::testing::Values(Over::Udp, Over::Serial),
                         [](const auto& info) { return info.param == Over::Udp ? "Udp" : "Serial"; });

// ---------------------------------------------------------------- on recording links

class Matching : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  CapturingWindow form{TestOptions(dialogs)};
};

TEST_F(Matching, OnlyClassCommandAddressAndSubnetOfTheRequestAnswerIt) {
  Check(form, "chk1")->setChecked(false);
  Spin(form, "SpinEdit1")->SetValue(5);
  Button(form, "Button12")->click();  // "Read Module Type" of module 5, direct
  for (const char* other : {"55 AA 0B 06 80 06 01 01 2A",      // another module
                            "55 AA 0B 05 80 07 01 01 2A",      // another command
                            "55 AA 0B 05 00 06 01 01 2A",      // the request's class, no reply bit
                            "55 AA 0B 05 82 06 01 01 2A"}) {   // another class
    form.serialLine.Arrive(WithChecksum(FromHex(other)));
    EXPECT_TRUE(Lines(form).last().startsWith("Unrelated frame: Read ")) << other;
    EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty()) << other;
    EXPECT_EQ(form.ExchangeText(), "Request sent, waiting for the reply") << other;
  }
  form.serialLine.Arrive(WithChecksum(FromHex("55 AA 0B 05 80 06 01 01 2A")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  EXPECT_TRUE(form.ExchangeText().startsWith("Reply in ")) << form.ExchangeText().toStdString();

  // Routed: the subnet must be the request's, unless it went to every one.
  Radio(form, "RadioButton1")->setChecked(true);
  Button(form, "Button12")->click();
  form.network.Arrive(WithChecksum(FromHex("55 AA 0D 00 02 05 80 06 01 00 09")));
  EXPECT_TRUE(Lines(form).last().startsWith("Unrelated frame: ")) << Lines(form).last().toStdString();
  form.network.Arrive(WithChecksum(FromHex("55 AA 0D 00 01 05 80 06 01 00 09")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "0009");
  // "All Off" goes to every module: any address answers it.
  Button(form, "Button6")->click();
  form.network.Arrive(WithChecksum(FromHex("55 AA 0B 00 01 11 82 05 01")));
  EXPECT_TRUE(form.RequestsHeldBecause().isEmpty());
  EXPECT_TRUE(Lines(form).last().startsWith(QString::fromUtf8("Read \xEF\xBC\x9A"))) << Lines(form).last().toStdString();
}

TEST_F(Matching, FramesHeardOnTheSerialLineAreLoggedAndChangeNothing) {
  MainWindow plain(TestOptions(dialogs));  // its own serial link, no request on it
  Spin(plain, "SpinEdit1")->SetValue(4);
  Edit(plain, "Edit1")->setText("0104");
  for (const char* heard : {"55 AA 0A 05 80 05 01 09", "55 AA 0B 05 80 06 01 02 08", "55 AA 0A 05 80 05 06 09"}) {
    const auto frame = WithChecksum(FromHex(heard));
    plain.Controller().SerialChunk(frame.data(), static_cast<std::uint16_t>(frame.size()));
  }
  EXPECT_EQ(Lines(plain), (QStringList{QString::fromUtf8("Unrelated frame: Read \xEF\xBC\x9AX  OK!"),
                                       QString::fromUtf8("Unrelated frame: Read \xEF\xBC\x9AX  OK!"),
                                       QString::fromUtf8("Unrelated frame: Read \xEF\xBC\x9AX  Command error!")}));
  EXPECT_EQ(Spin(plain, "SpinEdit1")->Value(), 4);
  EXPECT_EQ(Edit(plain, "Edit1")->text(), "0104");
  EXPECT_TRUE(plain.ExchangeText().isEmpty());
}

TEST_F(Matching, SceneConfirmationsApplyTheValuesThatWereSent) {
  QTemporaryDir folder;
  MakeSceneDatabase(folder.filePath("Veltra.mdb"));
  MainWindowOptions options = TestOptions(dialogs);
  options.sceneFolder = folder.path() + '/';
  CapturingWindow scenes(options);
  // "Set" of scene 7 on module 3 waits; the fields change meanwhile.
  Spin(scenes, "SpinEdit5")->SetValue(3);
  Spin(scenes, "SpinEdit4")->SetValue(7);
  ChannelList(scenes, 0)->setCurrentText("ON");
  Button(scenes, "Button7")->click();
  Spin(scenes, "SpinEdit5")->SetValue(4);
  Spin(scenes, "SpinEdit4")->SetValue(9);
  ChannelList(scenes, 0)->setCurrentText("OFF");
  scenes.serialLine.Arrive(WithChecksum(FromHex("55 AA 09 03 80 02 01")));
  EXPECT_EQ(SceneRows(scenes), QStringList{"7,3,1,X,X,X,X,X,X,X"});
  // Module 4's scene, then "Clear" of module 3, whose field shows 4 again
  // when the confirmation comes: module 3's scenes go.
  scenes.serialReply = AsString(WithChecksum(FromHex("55 AA 09 04 80 02 01")));
  ASSERT_TRUE(ClickAndWait(scenes, Button(scenes, "Button7")));
  scenes.serialReply.clear();
  Spin(scenes, "SpinEdit5")->SetValue(3);
  Button(scenes, "Button13")->click();
  Spin(scenes, "SpinEdit5")->SetValue(4);
  scenes.serialLine.Arrive(WithChecksum(FromHex("55 AA 09 03 80 03 01")));
  EXPECT_EQ(SceneRows(scenes), QStringList{"9,4,0,X,X,X,X,X,X,X"});
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(';').toStdString();
}

TEST_F(Matching, RequestButtonsAreHeldWhileARequestWaitsAndResultFieldsMarked) {
  Button(form, "Button12")->setToolTip("Reads the type");
  Spin(form, "SpinEdit1")->SetValue(5);
  Spin(form, "SpinEdit2")->SetValue(5);
  Button(form, "Button22")->click();  // "Read" of the address
  EXPECT_EQ(form.RequestsHeldBecause(), kWaiting);
  for (QPushButton* button : form.findChildren<QPushButton*>()) {
    const bool request = button != Button(form, "Button10") && button != Button(form, "Button32");
    if (!request) continue;
    EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_EQ(button->toolTip(), kWaiting) << button->objectName().toStdString();
  }
  EXPECT_TRUE(Button(form, "Button10")->isEnabled());
  EXPECT_TRUE(Button(form, "Button32")->isEnabled());
  // The address field keeps its value and says that it waits.
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 5);
  EXPECT_EQ(Spin(form, "SpinEdit1")->accessibleDescription(), "Waiting for the reply");
  // A click that still comes sends nothing.
  Button(form, "Button23")->click();
  EXPECT_EQ(form.serial.size(), 1u);

  form.serialLine.Arrive(WithChecksum(FromHex("55 AA 0A 05 80 05 01 07")));
  EXPECT_EQ(Spin(form, "SpinEdit1")->Value(), 7);
  EXPECT_TRUE(Spin(form, "SpinEdit1")->accessibleDescription().isEmpty());
  EXPECT_TRUE(Button(form, "Button23")->isEnabled());
  EXPECT_EQ(Button(form, "Button12")->toolTip(), "Reads the type");
  EXPECT_TRUE(Button(form, "Button23")->toolTip().isEmpty());

  // Status boxes wait with the states they show; a reply of three outputs
  // leaves the others as they were.
  for (QCheckBox* box : LightBoxes(form)) box->setChecked(true);
  Button(form, "Button11")->click();
  for (QCheckBox* box : LightBoxes(form)) {
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->accessibleDescription(), "Waiting for the reply");
  }
  form.serialLine.Arrive(WithChecksum(FromHex("55 AA 0D 05 80 08 01 01 00 01 00")));
  std::vector<bool> states;
  for (QCheckBox* box : LightBoxes(form)) {
    states.push_back(box->isChecked());
    EXPECT_TRUE(box->accessibleDescription().isEmpty());
  }
  EXPECT_EQ(states, (std::vector<bool>{false, true, false, true, true, true, true, true}));
}

TEST_F(Matching, TheKeyboardComesBackToTheButtonAfterTheReply) {
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  Pages(form)->setCurrentWidget(Sheet(form, "TabSheet1"));
  Spin(form, "SpinEdit1")->SetValue(5);
  Button(form, "Button12")->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), Button(form, "Button12"));
  QTest::keyClick(Button(form, "Button12"), Qt::Key_Space);
  ASSERT_EQ(form.serial.size(), 1u);
  EXPECT_FALSE(Button(form, "Button12")->isEnabled());
  form.serialLine.Arrive(WithChecksum(FromHex("55 AA 0B 05 80 06 01 01 2A")));
  EXPECT_EQ(Edit(form, "Edit1")->text(), "012A");
  EXPECT_EQ(QApplication::focusWidget(), Button(form, "Button12"));
}

// ---------------------------------------------------------------- over UDP on loopback

class UdpPeers : public ::testing::Test {
 protected:
  FakeDialogs dialogs;
  MainWindow form{TestOptions(dialogs)};
  LoopbackSocket busSwitch, stranger;

  void SetUp() override {
    Check(form, "chk1")->setChecked(false);
    Edit(form, "Edit4")->setText("127.0.0.1");
    Edit(form, "Edit5")->setText(QString::number(busSwitch.port()));
    Edit(form, "Edit6")->setText(QString::number(FreeUdpPort()));
    Radio(form, "RadioButton1")->setChecked(true);
    Button(form, "Button32")->click();
    ASSERT_EQ(Caption(form, "Button32"), "Close");
  }
};

TEST_F(UdpPeers, OnlyTheHostTheRequestWentToAnswersIt) {
  Spin(form, "SpinEdit1")->SetValue(1);
  Button(form, "Button12")->click();
  sockaddr_in window{};
  ASSERT_FALSE(busSwitch.Receive(1000, &window).empty());
  // The right reply from another host: unrelated, changes nothing.
  stranger.SendTo(window, WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 0F 0F")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Count(form, "Unrelated frame: ") == 1; }, 2000));
  EXPECT_TRUE(Edit(form, "Edit1")->text().isEmpty());
  EXPECT_FALSE(form.RequestsHeldBecause().isEmpty());
  busSwitch.SendTo(window, WithChecksum(FromHex("55 AA 0D 00 01 01 80 06 01 01 2A")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Edit(form, "Edit1")->text() == "012A"; }, 2000));

  // The bus switch "Read" goes to every bus switch: whoever answers does.
  Button(form, "btn2")->click();
  ASSERT_FALSE(busSwitch.Receive(1000, &window).empty());
  stranger.SendTo(window, WithChecksum(FromHex("55 AA 27 FF FF FF 80 05 01 00 07 0A 00 00 05 1F 90 FF FF 00 00 0A 00 "
                                             "00 01 0A 00 00 09 1F 91 02 00 00 00 00 01")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Spin(form, "SpinEdit12")->Value() == 7; }, 2000));
  EXPECT_TRUE(WaitUntilIdle(form));
  EXPECT_EQ(form.Controller().Network().Client().Host, "127.0.0.1");
}

TEST_F(UdpPeers, TheWindowGoesOnWhileARequestWaitsForASilentPeer) {
  QElapsedTimer clock;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(5);
  clock.start();
  Button(form, "Button12")->click();
  EXPECT_LT(clock.elapsed(), 100) << "the click waited for the reply";
  EXPECT_FALSE(Button(form, "Button12")->isEnabled());
  ASSERT_TRUE(WaitUntilIdle(form));
  EXPECT_GE(clock.elapsed(), 450);
  // Roughly one tick every 5 ms all along; a blocked window gives one.
  EXPECT_GT(ticks, 30);
  EXPECT_EQ(form.ExchangeText(), kNoReply);
}

}  // namespace
}  // namespace veltra::test
