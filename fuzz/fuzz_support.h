#pragma once
// What the fuzz targets share: a property check that stops the run with a
// message, and the frame rules written out independently of the codec, so a
// target compares the code under test with a second reading of the format.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace veltra::fuzz {

// A violated property is a crash for the fuzzer: it keeps the input.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

// Checksum test of a frame of `length` bytes: the high byte is the sum of
// bytes 0 .. length-3 divided by 256, XOR 0x55; the low byte the sum modulo
// 256, XOR 0xAA.
inline bool ChecksumHolds(const std::uint8_t* frame, std::size_t length) {
  if (length < 2) return false;
  unsigned sum = 0;
  for (std::size_t i = 0; i + 2 < length; ++i) sum += frame[i];
  return frame[length - 2] == (((sum >> 8) & 0xFF) ^ 0x55) && frame[length - 1] == ((sum & 0xFF) ^ 0xAA);
}

// A whole frame as it travels: header, a Length that counts exactly these
// bytes and lies in [minLength, maxLength], and its checksum.
inline bool IsWholeFrame(const std::uint8_t* bytes, std::size_t size, std::size_t minLength,
                         std::size_t maxLength) {
  return size >= 3 && bytes[0] == 0x55 && bytes[1] == 0xAA && bytes[2] == size && size >= minLength &&
         size <= maxLength && ChecksumHolds(bytes, size);
}

// Upper-case hex, each byte followed by a blank, as the monitor log shows it.
inline std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  char pair[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02X ", bytes[i]);
    text += pair;
  }
  return text;
}

// Cuts the rest of an input into pieces, so that a fuzzer builds streams of
// frames whose checksums hold without having to find them: each piece is a
// kind byte, a size byte n and n bytes (fewer at the end of the input).
//  - kind bit 0 clear: the n bytes as they are;
//  - kind bit 0 set: a frame: 55 AA, Length, the n bytes as the fields after
//    the Length (cut or zero-padded to fit), the checksum. Its Length is
//    n + 5, or with kind bit 1 the first of the n bytes (then not a field),
//    so Lengths outside every bound occur too; with kind bit 2 the frame
//    arrives without its last byte.
// Kind() tells the bits of the piece last read.
class PieceReader {
 public:
  PieceReader(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

  bool Next(std::vector<std::uint8_t>& piece) {
    if (left_ < 2) return false;
    kind_ = data_[0];
    std::size_t n = std::min<std::size_t>(data_[1], left_ - 2);
    const std::uint8_t* bytes = data_ + 2;
    data_ += 2 + n;
    left_ -= 2 + n;
    if (!(kind_ & 1)) {
      piece.assign(bytes, bytes + n);
      return true;
    }
    std::size_t length = n + 5;
    if ((kind_ & 2) && n > 0) {
      length = bytes[0];
      ++bytes, --n;
    }
    piece.assign(std::max<std::size_t>(length, 3), 0);
    piece[0] = 0x55, piece[1] = 0xAA, piece[2] = static_cast<std::uint8_t>(length);
    for (std::size_t i = 0; i < n && 3 + i + 2 < length; ++i) piece[3 + i] = bytes[i];
    if (length >= 5) {
      unsigned sum = 0;
      for (std::size_t i = 0; i + 2 < length; ++i) sum += piece[i];
      piece[length - 2] = static_cast<std::uint8_t>(((sum >> 8) & 0xFF) ^ 0x55);
      piece[length - 1] = static_cast<std::uint8_t>((sum & 0xFF) ^ 0xAA);
    }
    if (kind_ & 4) piece.pop_back();
    return true;
  }
  std::uint8_t Kind() const { return kind_; }

 private:
  const std::uint8_t* data_;
  std::size_t left_;
  std::uint8_t kind_ = 0;
};

}  // namespace veltra::fuzz
