// The mapping of the line properties onto termios, control-line codes,
// line-counter events and port names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <termios.h>

#include "serial/comm.h"
#include "serial/line_settings.h"
#include "serial/port_names.h"

namespace veltra {
namespace {

termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON | IMAXBEL;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
  t.c_cflag = CS8 | CREAD | B38400;
  return t;
}

TEST(LineSettings, WindowDefaultsGiveRaw8N1WithXonXoffBothWays) {
  termios t = Cooked();
  ApplyLineSettingsToTermios(LineSettings{}, t);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | CMSPAR));
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
  EXPECT_EQ(t.c_cflag & CBAUD, static_cast<tcflag_t>(B38400)) << "speed is set apart";
}

TEST(LineSettings, DataBitsParityAndStopBits) {
  struct Case {
    TByteSize size;
    tcflag_t cs;
  } sizes[] = {{TByteSize::_5, CS5}, {TByteSize::_6, CS6}, {TByteSize::_7, CS7}, {TByteSize::_8, CS8}};
  for (const auto& c : sizes) {
    LineSettings s;
    s.byteSize = c.size;
    termios t = Cooked();
    ApplyLineSettingsToTermios(s, t);
    EXPECT_EQ(t.c_cflag & CSIZE, c.cs);
  }

  const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
  struct ParityCase {
    TParity parity;
    tcflag_t bits;
  } parities[] = {{TParity::None, 0},
                  {TParity::Odd, PARENB | PARODD},
                  {TParity::Even, PARENB},
                  {TParity::Mark, PARENB | CMSPAR | PARODD},
                  {TParity::Space, PARENB | CMSPAR}};
  for (const auto& c : parities) {
    LineSettings s;
    s.parity = c.parity;
    termios t = Cooked();
    t.c_cflag |= parityBits;  // old bits are cleared
    ApplyLineSettingsToTermios(s, t);
    EXPECT_EQ(t.c_cflag & parityBits, c.bits) << static_cast<int>(c.parity);
  }

  for (auto [bits, two] : {std::pair{TStopBits::_1, false}, std::pair{TStopBits::_1_5, true},
                           std::pair{TStopBits::_2, true}}) {
    LineSettings s;
    s.stopBits = bits;
    termios t = Cooked();
    ApplyLineSettingsToTermios(s, t);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, two);
  }
}

TEST(LineSettings, FlowControlAndParityCheck) {
  LineSettings s;
  s.outxXonXoffFlow = false;
  s.inxXonXoffFlow = true;
  s.xonChar = 0x05;
  s.xoffChar = 0x06;
  s.parityCheck = true;
  termios t = Cooked();
  ApplyLineSettingsToTermios(s, t);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_iflag & INPCK) << "checked bytes pass unless replaced";
  s.replaceWhenParityError = true;
  ApplyLineSettingsToTermios(s, t);
  EXPECT_TRUE(t.c_iflag & INPCK);
  s.parityCheck = false;
  ApplyLineSettingsToTermios(s, t);
  EXPECT_FALSE(t.c_iflag & INPCK);
  EXPECT_EQ(t.c_cc[VSTART], 0x05);
  EXPECT_EQ(t.c_cc[VSTOP], 0x06);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);

  LineSettings cts;
  cts.outxCtsFlow = true;
  t = Cooked();
  ApplyLineSettingsToTermios(cts, t);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);

  LineSettings rts;
  rts.rtsControl = TRtsControl::RtsHandshake;
  t = Cooked();
  t.c_cflag |= CRTSCTS;
  ApplyLineSettingsToTermios(rts, t);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  rts.rtsControl = TRtsControl::RtsEnable;
  ApplyLineSettingsToTermios(rts, t);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
}

TEST(LineSettings, SpeedsOfTheBaudRateListWithAndWithoutConstants) {
  EXPECT_EQ(StandardSpeed(1200), static_cast<speed_t>(B1200));
  EXPECT_EQ(StandardSpeed(9600), static_cast<speed_t>(B9600));
  EXPECT_EQ(StandardSpeed(115200), static_cast<speed_t>(B115200));
  for (std::uint32_t rate : {14400u, 56000u, 128000u, 0u, 12345u}) {
    EXPECT_EQ(StandardSpeed(rate), static_cast<speed_t>(B0)) << rate;
  }
}

TEST(LineSettings, CharacterTimeCountsEveryBitOfTheFrame) {
  using std::chrono::microseconds;
  // 8N1: ten bits.
  EXPECT_EQ(CharacterTime(9600, TByteSize::_8, TParity::None, TStopBits::_1), microseconds(1042));
  EXPECT_EQ(CharacterTime(1200, TByteSize::_8, TParity::None, TStopBits::_1), microseconds(8333));
  // 7E2: eleven bits; 5 data bits with 1.5 stop bits: 7.5.
  EXPECT_EQ(CharacterTime(1000, TByteSize::_7, TParity::Even, TStopBits::_2), microseconds(11000));
  EXPECT_EQ(CharacterTime(1000, TByteSize::_5, TParity::None, TStopBits::_1_5), microseconds(7500));
  EXPECT_EQ(CharacterTime(0, TByteSize::_8, TParity::None, TStopBits::_1), microseconds(0));
}

TEST(ControlLines, EnablingValuesMapToOnNotByOrdinal) {
  EXPECT_EQ(DtrControlCode(TDtrControl::DtrEnable), 1);
  EXPECT_EQ(DtrControlCode(TDtrControl::DtrDisable), 0);
  EXPECT_EQ(DtrControlCode(TDtrControl::DtrHandshake), 2);
  EXPECT_EQ(RtsControlCode(TRtsControl::RtsEnable), 1);
  EXPECT_EQ(RtsControlCode(TRtsControl::RtsDisable), 0);
  EXPECT_EQ(RtsControlCode(TRtsControl::RtsHandshake), 2);
  EXPECT_EQ(RtsControlCode(TRtsControl::RtsTransmissionAvailable), 3);
}

TEST(LineCounters, ChangedCountersBecomeErrorFlagsAndModemBits) {
  LineCounters a;
  LineCounters b = a;
  EXPECT_EQ(LineEventsBetween(a, b).errors, 0u);
  EXPECT_EQ(LineEventsBetween(a, b).modem, 0u);
  b.frame = 1;
  b.parity = 3;
  b.dcd = 2;
  LineEvents e = LineEventsBetween(a, b);
  EXPECT_EQ(e.errors, kLineErrorFrame | kLineErrorParity);
  EXPECT_EQ(e.modem, kModemCarrierDetect);
  b = a;
  b.overrun = 1;
  b.bufOverrun = 1;
  b.brk = 1;
  b.rng = 1;
  e = LineEventsBetween(a, b);
  EXPECT_EQ(e.errors, kLineErrorOverrun | kLineErrorRxOver | kLineErrorBreak);
  EXPECT_EQ(e.modem, kModemRing);
  b.dcd = 7;
  EXPECT_EQ(LineEventsBetween(a, b).modem, 12u);
}

TEST(PortNames, ComNamesMapToTtySAndPathsToThemselves) {
  EXPECT_EQ(DevicePathFor("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathFor("COM5"), "/dev/ttyS4");
  EXPECT_EQ(DevicePathFor("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathFor("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(DevicePathFor("COM6"), "COM6");
  EXPECT_EQ(DevicePathFor("com1"), "com1");
  EXPECT_EQ(DevicePathFor(""), "");
}

TEST(PortNames, ComPortsThenDevicePaths) {
  const auto names = SerialPortNames();
  const auto com1 = std::find(names.begin(), names.end(), "COM1");
  ASSERT_LE(com1 + 5, names.end());
  EXPECT_EQ(std::vector<std::string>(com1, com1 + 5),
            (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5"}));
  for (auto name = names.begin(); name != com1; ++name) EXPECT_EQ(name->rfind("/dev/serial/by-id/", 0), 0u) << *name;
  for (auto name = com1 + 5; name != names.end(); ++name) EXPECT_EQ(name->rfind("/dev/", 0), 0u) << *name;
}

// A scratch tree of /dev and /sys: what a PC with a USB adapter, a real
// serial port and a board UART shows.
class DeviceTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/veltra-devices-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    root_ = name;
    folders_ = {root_ + "/dev", root_ + "/sys"};
    const std::string usbDevice = root_ + "/sys/devices/pci0/usb1/1-2";
    for (const std::string& folder : {root_ + "/dev/serial/by-id", usbDevice + "/1-2:1.0/ttyUSB0",
                                      root_ + "/sys/class/tty/ttyUSB0", root_ + "/sys/class/tty/ttyS0",
                                      root_ + "/sys/class/tty/ttyS7"})
      std::filesystem::create_directories(folder);
    for (const char* device : {"ttyUSB0", "ttyS0", "ttyS7", "ttyAMA0", "tty1", "null"})
      std::ofstream(root_ + "/dev/" + device);
    std::filesystem::create_directory_symlink(usbDevice + "/1-2:1.0/ttyUSB0", root_ + "/sys/class/tty/ttyUSB0/device");
    std::ofstream(usbDevice + "/product") << "FT232R USB UART\n";
    std::ofstream(usbDevice + "/manufacturer") << "FTDI\n";
    std::ofstream(root_ + "/sys/class/tty/ttyS0/type") << "4\n";  // a 16550A
    std::ofstream(root_ + "/sys/class/tty/ttyS7/type") << "0\n";  // no UART behind it
    std::filesystem::create_symlink("../../ttyUSB0", root_ + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
    std::filesystem::create_symlink("ttyAMA0", root_ + "/dev/serial0");
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string root_;
  DeviceFolders folders_;
};

TEST_F(DeviceTree, StableNamesFirstWithTheAdaptersDescriptionThenComThenPresentDevices) {
  const std::vector<PortChoice> expected{
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0", "FTDI FT232R USB UART (ttyUSB0)"},
      {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"}, {"COM3", "/dev/ttyS2"}, {"COM4", "/dev/ttyS3"},
      {"COM5", "/dev/ttyS4"},
      {"/dev/serial0", "board UART (ttyAMA0)"},
      {"/dev/ttyAMA0", "board UART"},
      {"/dev/ttyS0", "serial port"},
      {"/dev/ttyUSB0", "FTDI FT232R USB UART"},
  };
  EXPECT_EQ(SerialPortChoices(folders_), expected);

  // Without sysfs the by-id name itself tells what the adapter is.
  std::filesystem::remove_all(root_ + "/sys");
  EXPECT_EQ(SerialPortChoices(folders_).front().description, "FTDI FT232R USB UART A10K (ttyUSB0)");
}

// The adapter picked as /dev/ttyUSB0 has a name that outlives its number.
TEST_F(DeviceTree, TheStableNameBehindADevice) {
  const std::string byId = root_ + "/dev/serial/by-id";
  EXPECT_EQ(StableNameFor(root_ + "/dev/ttyUSB0", byId), byId + "/usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
  EXPECT_EQ(StableNameFor(root_ + "/dev/../dev/ttyUSB0", byId), byId + "/usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
  EXPECT_EQ(StableNameFor(root_ + "/dev/ttyS0", byId), "") << "no adapter behind it";
  EXPECT_EQ(StableNameFor(root_ + "/dev/ttyUSB9", byId), "") << "no such device";
  std::filesystem::remove_all(byId);
  EXPECT_EQ(StableNameFor(root_ + "/dev/ttyUSB0", byId), "") << "no folder of stable names";
}

TEST(PortNames, RefreshDropsUnpluggedAdaptersUnlessSelected) {
  const std::string byId = "/dev/serial/by-id/usb-X-if00-port0";
  const std::vector<std::string> shown{byId, "COM1", "/dev/ttyUSB0", "/dev/pts/7"};
  const std::vector<std::string> present{"COM1"};
  EXPECT_EQ(RefreshedPortNames(shown, "COM1", present), (std::vector<std::string>{"COM1", "/dev/pts/7"}));
  EXPECT_EQ(RefreshedPortNames(shown, byId, present), (std::vector<std::string>{"COM1", byId, "/dev/pts/7"}));
}

}  // namespace
}  // namespace veltra
