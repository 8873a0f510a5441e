// Serial-port component: keeps the line settings, opens a serial device
// exclusively, and runs a reader and a writer thread. Everything the threads
// report reaches the thread that owns the component through a notification
// sink, and is raised there as one of the five events.
//
// Qt-free. For delivery through a Qt event loop see qt_comm.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace veltra {

// Raised by OpenPort. what() is one of the fixed operator-facing messages;
// detail() carries the system's reason (errno text) and code() its number
// (0 when the system gave none).
class ECommsError : public std::runtime_error {
 public:
  explicit ECommsError(const std::string& message, std::string detail = {}, int code = 0)
      : std::runtime_error(message), detail_(std::move(detail)), code_(code) {}
  const std::string& detail() const noexcept { return detail_; }
  int code() const noexcept { return code_; }

 private:
  std::string detail_;
  int code_;
};

// The fixed messages of ECommsError.
inline constexpr const char* kErrAlreadyOpen = "This serial port already opened";
inline constexpr const char* kErrOpening = "Error opening serial port";
inline constexpr const char* kErrNotComm = "File handle is not a comm handle ";
inline constexpr const char* kErrCommBuffer = "Cannot setup comm buffer";
inline constexpr const char* kErrCreateEvent = "Unable to create event";
inline constexpr const char* kErrReadThread = "Unable to create read thread";
inline constexpr const char* kErrWriteThread = "Unable to create write thread";

enum class TByteSize : std::uint8_t { _5 = 0, _6 = 1, _7 = 2, _8 = 3 };
enum class TParity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class TStopBits : std::uint8_t { _1 = 0, _1_5 = 1, _2 = 2 };
enum class TDtrControl : std::uint8_t { DtrEnable = 0, DtrDisable = 1, DtrHandshake = 2 };
enum class TRtsControl : std::uint8_t {
  RtsEnable = 0,
  RtsDisable = 1,
  RtsHandshake = 2,
  RtsTransmissionAvailable = 3
};

// Line-control codes of the DTR and RTS lines (0 off, 1 on, 2 handshake,
// 3 RTS while transmitting). The enumerations above put the enabling value
// first, so these mappings are explicit and never go by ordinal.
std::uint8_t DtrControlCode(TDtrControl value);
std::uint8_t RtsControlCode(TRtsControl value);

// Flags of OnReceiveError's event mask.
inline constexpr std::uint32_t kLineErrorRxOver = 0x0001;   // input buffer overrun
inline constexpr std::uint32_t kLineErrorOverrun = 0x0002;  // hardware overrun
inline constexpr std::uint32_t kLineErrorParity = 0x0004;
inline constexpr std::uint32_t kLineErrorFrame = 0x0008;
inline constexpr std::uint32_t kLineErrorBreak = 0x0010;

// Bits of OnModemStateChange's modem event.
inline constexpr std::uint32_t kModemCarrierDetect = 8;
inline constexpr std::uint32_t kModemRing = 4;

// ReadIntervalTimeout with zero total time-outs: the reader hands over
// whatever the device has at once instead of waiting for a gap.
inline constexpr std::uint32_t kNoIntervalLimit = 0xFFFFFFFFu;

// Notification numbers posted by the threads.
enum class CommNotify : std::uint32_t {
  ReceiveData = 1025,
  ReceiveError = 1026,
  RequestHangup = 1027,
  ModemStateChange = 1028,
  SendDataEmpty = 1029,
};

// One notification. For ReceiveData, first is the byte count and block holds
// the bytes followed by one zero byte; for the others second carries the
// flags (line errors, modem bits) and block is empty. Whoever holds the
// message owns the block.
struct CommMessage {
  CommNotify number = CommNotify::RequestHangup;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  std::unique_ptr<std::uint8_t[]> block;
  // Which opening of the component posted it (1 for the first OpenPort, 2
  // for the next, ...); 0: not said.
  std::uint64_t opening = 0;
};

// Where the threads post their notifications. Post is called from the
// reader and writer threads and must be thread-safe and quick; it returns
// false when the message cannot be queued (the message is then dropped).
// The delivery side hands each message, in posting order, to
// TComm::HandleNotification on the thread that owns the component.
class CommNotificationSink {
 public:
  virtual ~CommNotificationSink() = default;
  virtual bool Post(CommMessage message) = 0;
};

struct CommPort;     // open device, close signal and driver-side settings
class CommWriteQueue;  // the writer thread's request queue
struct CommWorker;   // one running thread

class TComm {
 public:
  explicit TComm(std::shared_ptr<CommNotificationSink> sink);
  virtual ~TComm();  // closes the port if it is still open
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Opens CommName (see DevicePathFor), configures it and starts the reader
  // and the writer. Throws ECommsError with one of the fixed messages.
  void OpenPort();
  // Stops both threads, restores the device's settings and closes it. Write
  // requests still queued are dropped; notifications already posted are still
  // delivered afterwards. Never throws; does nothing when closed.
  void ClosePort() noexcept;
  // Queues a copy of the bytes for the writer. False when closed, when
  // length is 0 or when the writer has ended. True means queued, not sent.
  bool WriteData(const std::uint8_t* buffer, std::uint16_t length);
  bool IsOpen() const { return port_ != nullptr; }
  // Requests queued by WriteData since the port opened that the writer has
  // not yet handed to the device completely; 0 when closed.
  std::size_t WritesPending() const;

  // Raises the event of one notification; called by the delivery side on the
  // owner's thread. The data block is released on return, handler or not.
  // A hang-up is raised only for the port open now: one that a port closed
  // since reported concerns a device no longer in use. Nothing an earlier
  // opening posted reaches a port opened after it.
  void HandleNotification(CommMessage message);

  // Properties. Writing an equal value does nothing; a changed line or
  // time-out property is applied to an open port at once, except CommName
  // and Parity, which take effect at the next OpenPort (and Parity also with
  // the next change of another line property while open).
  const std::string& CommName() const { return commName_; }
  void SetCommName(const std::string& value) { commName_ = value; }
  std::uint32_t BaudRate() const { return baudRate_; }
  void SetBaudRate(std::uint32_t value) { SetLine(baudRate_, value); }
  bool ParityCheck() const { return parityCheck_; }
  void SetParityCheck(bool value) { SetLine(parityCheck_, value); }
  bool Outx_CtsFlow() const { return outxCtsFlow_; }
  void SetOutx_CtsFlow(bool value) { SetLine(outxCtsFlow_, value); }
  bool Outx_DsrFlow() const { return outxDsrFlow_; }
  void SetOutx_DsrFlow(bool value) { SetLine(outxDsrFlow_, value); }
  TDtrControl DtrControl() const { return dtrControl_; }
  void SetDtrControl(TDtrControl value) { SetLine(dtrControl_, value); }
  bool DsrSensitivity() const { return dsrSensitivity_; }
  void SetDsrSensitivity(bool value) { SetLine(dsrSensitivity_, value); }
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool value) { SetLine(txContinueOnXoff_, value); }
  bool Outx_XonXoffFlow() const { return outxXonXoffFlow_; }
  void SetOutx_XonXoffFlow(bool value) { SetLine(outxXonXoffFlow_, value); }
  bool Inx_XonXoffFlow() const { return inxXonXoffFlow_; }
  void SetInx_XonXoffFlow(bool value) { SetLine(inxXonXoffFlow_, value); }
  bool ReplaceWhenParityError() const { return replaceWhenParityError_; }
  void SetReplaceWhenParityError(bool value) { SetLine(replaceWhenParityError_, value); }
  bool IgnoreNullChar() const { return ignoreNullChar_; }
  void SetIgnoreNullChar(bool value) { SetLine(ignoreNullChar_, value); }
  TRtsControl RtsControl() const { return rtsControl_; }
  void SetRtsControl(TRtsControl value) { SetLine(rtsControl_, value); }
  std::uint16_t XonLimit() const { return xonLimit_; }
  void SetXonLimit(std::uint16_t value) { SetLine(xonLimit_, value); }
  std::uint16_t XoffLimit() const { return xoffLimit_; }
  void SetXoffLimit(std::uint16_t value) { SetLine(xoffLimit_, value); }
  TByteSize ByteSize() const { return byteSize_; }
  void SetByteSize(TByteSize value) { SetLine(byteSize_, value); }
  TParity Parity() const { return parity_; }
  void SetParity(TParity value) { parity_ = value; }
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits value) { SetLine(stopBits_, value); }
  std::uint8_t XonChar() const { return xonChar_; }
  void SetXonChar(std::uint8_t value) { SetLine(xonChar_, value); }
  std::uint8_t XoffChar() const { return xoffChar_; }
  void SetXoffChar(std::uint8_t value) { SetLine(xoffChar_, value); }
  std::uint8_t ReplacedChar() const { return replacedChar_; }
  void SetReplacedChar(std::uint8_t value) { SetLine(replacedChar_, value); }
  std::uint32_t ReadIntervalTimeout() const { return readIntervalTimeout_; }
  void SetReadIntervalTimeout(std::uint32_t value) { SetTimeout(readIntervalTimeout_, value); }
  std::uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier_; }
  void SetReadTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(readTotalTimeoutMultiplier_, value);
  }
  std::uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant_; }
  void SetReadTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(readTotalTimeoutConstant_, value);
  }
  std::uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier_; }
  void SetWriteTotalTimeoutMultiplier(std::uint32_t value) {
    SetTimeout(writeTotalTimeoutMultiplier_, value);
  }
  std::uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant_; }
  void SetWriteTotalTimeoutConstant(std::uint32_t value) {
    SetTimeout(writeTotalTimeoutConstant_, value);
  }

  // Events, raised on the owner's thread by HandleNotification.
  std::function<void(TComm& sender, const std::uint8_t* buffer, std::uint16_t length)>
      OnReceiveData;
  std::function<void(TComm& sender, std::uint32_t eventMask)> OnReceiveError;
  std::function<void(TComm& sender, std::uint32_t modemEvent)> OnModemStateChange;
  std::function<void(TComm& sender)> OnRequestHangup;
  std::function<void(TComm& sender)> OnSendDataEmpty;

 private:
  template <typename T>
  void SetLine(T& field, T value) {
    if (field == value) return;
    field = value;
    if (IsOpen()) ApplyLineSettings();
  }
  void SetTimeout(std::uint32_t& field, std::uint32_t value) {
    if (field == value) return;
    field = value;
    if (IsOpen()) ApplyTimeouts();
  }
  void ApplyLineSettings();
  void ApplyTimeouts();
  void StopWorker(std::unique_ptr<CommWorker>& worker, int purgeQueue) noexcept;
  void ReleasePort() noexcept;

  std::unique_ptr<CommWorker> reader_;
  std::unique_ptr<CommWorker> writer_;
  std::shared_ptr<CommPort> port_;  // set while open
  std::shared_ptr<CommWriteQueue> writeQueue_;
  std::shared_ptr<CommNotificationSink> sink_;
  std::uint64_t openings_ = 0;   // OpenPort calls that got as far as the device
  std::uint64_t openNow_ = 0;    // the opening of the port open now; 0: closed

  std::string commName_ = "COM2";
  std::uint32_t baudRate_ = 9600;
  bool parityCheck_ = false;
  bool outxCtsFlow_ = false;
  bool outxDsrFlow_ = false;
  TDtrControl dtrControl_ = TDtrControl::DtrEnable;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = true;
  bool outxXonXoffFlow_ = true;
  bool inxXonXoffFlow_ = true;
  bool replaceWhenParityError_ = false;
  bool ignoreNullChar_ = false;
  TRtsControl rtsControl_ = TRtsControl::RtsEnable;
  std::uint16_t xonLimit_ = 500;
  std::uint16_t xoffLimit_ = 500;
  TByteSize byteSize_ = TByteSize::_8;
  TParity parity_ = TParity::None;
  TStopBits stopBits_ = TStopBits::_1;
  std::uint8_t xonChar_ = 0x11;
  std::uint8_t xoffChar_ = 0x13;
  std::uint8_t replacedChar_ = 0x00;
  std::uint32_t readIntervalTimeout_ = 100;
  std::uint32_t readTotalTimeoutMultiplier_ = 0;
  std::uint32_t readTotalTimeoutConstant_ = 0;
  std::uint32_t writeTotalTimeoutMultiplier_ = 0;
  std::uint32_t writeTotalTimeoutConstant_ = 0;
};

}  // namespace veltra
