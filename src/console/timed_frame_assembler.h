#pragma once
// The frame assembler on the event loop's clock: bytes from the serial reader
// go in, each complete frame comes out through the handler as soon as its
// last byte is in, and a timer gives up an incomplete frame once the line has
// been silent long enough, so that frames behind it are not held back.
#include <QObject>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/frame_assembler.h"

namespace veltra {

class TimedFrameAssembler : public QObject {
 public:
  // Called once per frame, in line order, with the form it was found in.
  using FrameHandler = std::function<void(FrameForm form, const std::vector<std::uint8_t>& frame)>;

  explicit TimedFrameAssembler(FrameHandler handler, QObject* parent = nullptr);

  // Bytes as the reader delivered them, looked at as frames of `form`.
  void Feed(FrameForm form, const std::uint8_t* bytes, std::size_t size);
  // Forgets bytes still waiting (the line was closed or reopened).
  void Clear();

 private:
  void Hand(const std::vector<FrameAssembler::Frame>& frames);
  void Expire();

  FrameAssembler assembler_;
  QTimer expiry_;
  FrameHandler handler_;
};

}  // namespace veltra
