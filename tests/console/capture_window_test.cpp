// File > "Save Capture…" on the simulated bus: the frames the links carried
// since the start or the last "Clear Log", saved through the save dialog and
// read back with libpcap.
#include <gtest/gtest.h>

#include <QAction>
#include <QStatusBar>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "../capture/capture_support.h"
#include "../capture/tshark_support.h"
#include "console/spin_edit.h"
#include "console_support.h"
#include "protocol/frame.h"
#include "scenes/scene_store_schema.h"

namespace veltra::test {
namespace {

class CaptureWindow : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  FakeDialogs dialogs;
  std::unique_ptr<MainWindow> form;

  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    MakeSceneDatabase(folder.filePath("Veltra.mdb"));
    MainWindowOptions options = TestOptions(dialogs);
    options.sceneFolder = folder.path() + '/';
    options.simulator = std::make_shared<SimulatorRuntime>();
    form = std::make_unique<MainWindow>(options);
    Radio(*form, "RadioButton1")->setChecked(true);
    Button(*form, "Button32")->click();
    ASSERT_EQ(Caption(*form, "Button32"), "Close");
  }

  QString Path(const QString& name) const { return folder.filePath(name); }

  // Saves through the menu item, answering the dialog with name.
  std::vector<CaptureRecord> Save(const QString& name) {
    dialogs.saveAnswer = Path(name);
    Action(*form, "SaveCapture")->trigger();
    return ReadCaptureFile(QFile::encodeName(Path(name)).toStdString()).records;
  }

  // Routed Class and Command of a datagram's frame (after 28 bytes of IPv4
  // and UDP header).
  static std::pair<int, int> ClassAndCommand(const CaptureRecord& record) {
    const std::size_t at = 28 + ClassOffset(FrameForm::Routed);
    return {record.bytes.at(at), record.bytes.at(at + 1)};
  }
};

TEST_F(CaptureWindow, HoldsExactlyTheFramesSinceTheLastClearLog) {
  Spin(*form, "SpinEdit1")->SetValue(1);
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button12")));  // "Read Module Type": request and reply
  Action(*form, "ClearLog")->trigger();
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button29")));  // "Read Software Version"
  // Saving the log on the way is not clearing it.
  dialogs.saveAnswer = Path("log.txt");
  Action(*form, "SaveLog")->trigger();

  const auto since = Save("since-clear.pcap");
  EXPECT_EQ(Control<QStatusBar>(*form, "StatusBar1")->currentMessage(), "Capture saved to " + Path("since-clear.pcap"));
  ASSERT_EQ(since.size(), 2u);
  EXPECT_EQ(ClassAndCommand(since[0]), std::make_pair(0, 7));
  EXPECT_EQ(ClassAndCommand(since[1]), std::make_pair(0x80, 7));
  EXPECT_LE(std::make_pair(since[0].seconds, since[0].nanoseconds),
            std::make_pair(since[1].seconds, since[1].nanoseconds));
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(';').toStdString();
  EXPECT_TRUE(dialogs.saveQuestions.last().contains("veltra-capture-")) << dialogs.saveQuestions.last().toStdString();

  // Saving does not clear: the same frames again, and what follows.
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button22")));  // "Read" (address)
  const auto more = Save("more.pcap");
  ASSERT_EQ(more.size(), 4u);
  EXPECT_EQ(ClassAndCommand(more[2]), std::make_pair(0, 5));

  Action(*form, "ClearLog")->trigger();
  EXPECT_TRUE(Save("empty.pcap").empty());
}

TEST_F(CaptureWindow, CancelledOrFailedSaveWritesNothing) {
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button12")));
  dialogs.saveAnswer.clear();
  Action(*form, "SaveCapture")->trigger();
  EXPECT_EQ(QDir(folder.path()).entryList({"*.pcap"}, QDir::Files), QStringList{});

  dialogs.saveAnswer = Path("missing/capture.pcap");
  Action(*form, "SaveCapture")->trigger();
  EXPECT_EQ(dialogs.messages, QStringList{"The capture could not be saved."});
  ASSERT_EQ(dialogs.details.size(), 1);
  EXPECT_TRUE(dialogs.details[0].contains("No such file or directory")) << dialogs.details[0].toStdString();
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(CaptureWindow, SerialFramesGoToASecondFileBesideTheDatagrams) {
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button12")));  // over UDP
  Radio(*form, "RadioButton2")->setChecked(true);
  Button(*form, "Button10")->click();  // the serial line to the simulated bus
  ASSERT_EQ(Caption(*form, "Button10"), "Close");
  const int lines = LogText(*form).count('\n');
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button12")));
  ASSERT_EQ(LogText(*form).count('\n'), lines + 2);

  const auto datagrams = Save("both.pcap");
  EXPECT_EQ(datagrams.size(), 2u);
  const auto serial = ReadCaptureFile(QFile::encodeName(Path("both-serial.pcap")).toStdString());
  EXPECT_EQ(serial.linkType, 147u);
  ASSERT_GE(serial.records.size(), 2u);
  EXPECT_EQ(serial.records[0].bytes.at(0), 0);  // sent
  EXPECT_EQ(serial.records.back().bytes.at(0), 1);  // received
  EXPECT_EQ(serial.records[0].bytes.at(1 + CommandOffset(FrameForm::Direct)), 6);
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].endsWith(Path("both-serial.pcap"))) << dialogs.messages[0].toStdString();
  EXPECT_EQ(Control<QStatusBar>(*form, "StatusBar1")->currentMessage(),
            "Capture saved to " + Path("both.pcap") + " and " + Path("both-serial.pcap"));
}

TEST_F(CaptureWindow, SavedCaptureOpensInWiresharkEveryFrameByName) {
  REQUIRE_TSHARK();
  Spin(*form, "SpinEdit2")->SetValue(3);  // a curtain module: the light command fails
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button2")));  // "On"
  Spin(*form, "SpinEdit2")->SetValue(1);
  ASSERT_TRUE(ClickAndWait(*form, Button(*form, "Button2")));
  dialogs.saveAnswer = Path("window.pcap");
  Action(*form, "SaveCapture")->trigger();
  const std::string file = QFile::encodeName(Path("window.pcap")).toStdString();
  EXPECT_EQ(Tshark(file, "-T fields -e veltra.command_name -e veltra.status_word"),
            "On\t\nOn\tCommand error!\nOn\t\nOn\tOK!\n");
  EXPECT_EQ(Tshark(file, "-Y 'veltra.status != 1' -T fields -e frame.number -e veltra.address"), "2\t3\n");
}

}  // namespace
}  // namespace veltra::test
