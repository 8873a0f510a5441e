// The serial frame assembler on a byte stream of frames, cut frames and noise,
// fed in chunks the fuzzer chooses. Byte 0: bit 0 routed form; byte 1: how
// many chunk sizes follow (up to 15); then the sizes, used in turn; the rest
// makes the stream, piece by piece (PieceReader).
//
// Properties: every frame handed on is a whole valid frame of the form (its
// Length from a request without parameters to the longest reply, its
// checksum right) and a piece of the stream, in stream order, without
// overlap, so no more bytes come out than went in; frames,
// skipped and waiting bytes account for every byte fed; feeding the stream
// in one piece, in the fuzzer's chunks or byte by byte gives the same frames;
// after a silence nothing waits any more.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "protocol/frame_assembler.h"

namespace {

using veltra::FrameAssembler;
using veltra::FrameForm;
using veltra::fuzz::Require;
using Frames = std::vector<FrameAssembler::Frame>;

const FrameAssembler::Clock::time_point kStart{std::chrono::seconds(1000)};

void Append(Frames& to, Frames from) {
  for (auto& f : from) to.push_back(std::move(f));
}

// Feeds the stream in chunks of the given sizes (in turn; a zero size is an
// empty feed), all at one moment, then lets the line fall silent.
Frames Assemble(FrameForm form, const std::uint8_t* stream, std::size_t size, const std::vector<std::size_t>& sizes) {
  FrameAssembler assembler(form);
  Frames frames;
  std::size_t at = 0;
  for (std::size_t turn = 0; at < size; ++turn) {
    const std::size_t chunk = std::min(sizes[turn % sizes.size()], size - at);
    // Sizes of zero only: one byte at a time after the empty feed.
    const std::size_t step = chunk == 0 && turn >= sizes.size() ? 1 : chunk;
    Append(frames, assembler.Feed(stream + at, step, kStart));
    at += step;
  }
  const std::size_t beforeSilence = assembler.PendingBytes();
  Require(assembler.Expire(kStart + FrameAssembler::kSilenceLimit / 2).empty() &&
              assembler.PendingBytes() == beforeSilence,
          "bytes settled before the silence limit");
  Append(frames, assembler.Expire(kStart + FrameAssembler::kSilenceLimit));
  Require(assembler.PendingBytes() == 0 && !assembler.ExpiryTime(), "bytes still wait after a silence");
  std::size_t out = 0;
  for (const auto& f : frames) out += f.size();
  Require(out + assembler.SkippedBytes() == size, "frames and skipped bytes do not add up to the bytes fed");
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const FrameForm form = (data[0] & 1) ? FrameForm::Routed : FrameForm::Direct;
  const std::size_t count = std::min<std::size_t>(data[1] & 0x0F, size - 2);
  std::vector<std::size_t> sizes(data + 2, data + 2 + count);
  if (sizes.empty()) sizes.push_back(1);
  std::vector<std::uint8_t> line;
  veltra::fuzz::PieceReader pieces(data + 2 + count, size - 2 - count);
  for (std::vector<std::uint8_t> piece; pieces.Next(piece);) line.insert(line.end(), piece.begin(), piece.end());
  const std::uint8_t* stream = line.data();
  const std::size_t streamSize = line.size();

  const Frames split = Assemble(form, stream, streamSize, sizes);
  // Requests of other masters heard on the line come out too: the shortest
  // frame is a request without parameters.
  const std::size_t shortest = static_cast<std::size_t>(veltra::FrameLength(form, 0));
  const std::uint8_t* searchFrom = stream;
  const std::uint8_t* end = stream + streamSize;
  for (const auto& frame : split) {
    Require(veltra::fuzz::IsWholeFrame(frame.data(), frame.size(), shortest, veltra::kMaxReceiveLength),
            "a frame handed on is not a valid frame of the form");
    const std::uint8_t* found = std::search(searchFrom, end, frame.begin(), frame.end());
    Require(found != end, "a frame handed on is not a piece of the stream after the previous one");
    searchFrom = found + frame.size();
  }
  Require(Assemble(form, stream, streamSize, {streamSize}) == split, "one piece and chunks give different frames");
  Require(Assemble(form, stream, streamSize, {1}) == split, "byte by byte and chunks give different frames");
  return 0;
}
