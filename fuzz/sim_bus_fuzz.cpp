// The simulated bus's request handling on a sequence of requests. Byte 0:
// bit 0 the UDP link (else the serial line), bit 1 a module population of
// its own: byte 1 its length n and n bytes of population text. The rest are
// the requests, one piece each (PieceReader), so most of them are frames
// with a valid checksum.
//
// Properties: input that is not a valid frame is refused and answered by
// nobody; every reply the bus produces is a whole valid frame of the form its
// link uses (routed over UDP, the request's form on the serial line), at most
// 78 bytes, of the request's class with 0x80 and its command, that the
// console's decoder takes; each kind of garbage made from it is dropped by
// that decoder; and the replies sent back to back on the serial line come out
// of the frame assembler as the same frames.
#include <array>
#include <chrono>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "protocol/frame_assembler.h"
#include "replies/reply_decoder.h"
#include "sim/reply_shaper.h"
#include "sim/sim_bus.h"

namespace {

using veltra::FrameForm;
using veltra::SimFrame;
using veltra::fuzz::Require;

constexpr int kMaxRequests = 64;

bool Decodes(FrameForm form, const SimFrame& bytes) {
  const veltra::DecodedReply reply = form == FrameForm::Routed
                                         ? veltra::DecodeRouted(bytes.data(), bytes.size(), false)
                                         : veltra::DecodeDirect(bytes.data(), bytes.size(), false);
  return reply.logLine.has_value();
}

void CheckReply(const SimFrame& reply, const veltra::SimRequest& request, veltra::SimLink link, int servedSubnet) {
  const FrameForm form = link == veltra::SimLink::Udp ? FrameForm::Routed : request.form;
  Require(veltra::fuzz::IsWholeFrame(reply.data(), reply.size(), veltra::MinReplyLength(form), 78),
          "a reply is not a whole valid frame a receiver takes");
  const int at = veltra::AddressOffset(form);
  Require(reply[at + 1] == (request.cls | 0x80) && reply[at + 2] == request.command,
          "a reply does not carry the request's class and command");
  if (form == FrameForm::Routed) {
    const int subnet = request.form == FrameForm::Routed ? request.subnet : servedSubnet;
    Require(reply[3] == ((subnet >> 8) & 0xFF) && reply[4] == (subnet & 0xFF), "a routed reply's subnet");
  }
  Require(Decodes(form, reply), "the console's decoder drops a reply");
  for (auto kind : {veltra::GarbageKind::BadChecksum, veltra::GarbageKind::BadHeader, veltra::GarbageKind::Truncated,
                    veltra::GarbageKind::Noise})
    for (std::uint32_t seed : {0u, 7u})
      Require(!Decodes(form, veltra::MakeGarbage(reply, kind, seed)), "the console's decoder takes garbage");
}

void CheckAssembled(FrameForm form, const std::vector<SimFrame>& sent) {
  std::vector<std::uint8_t> line;
  for (const auto& f : sent) line.insert(line.end(), f.begin(), f.end());
  veltra::FrameAssembler assembler(form);
  const auto frames = assembler.Feed(line.data(), line.size(), veltra::FrameAssembler::Clock::now());
  Require(frames == sent && assembler.PendingBytes() == 0, "replies back to back do not come out as sent");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const veltra::SimLink link = (data[0] & 1) ? veltra::SimLink::Udp : veltra::SimLink::Serial;
  std::size_t at = 1;
  std::vector<veltra::ModuleSetup> population = veltra::DefaultPopulation();
  if ((data[0] & 2) && size > 1) {
    const std::size_t n = std::min<std::size_t>(data[1], size - 2);
    try {
      population = veltra::ParsePopulation(std::string_view(reinterpret_cast<const char*>(data + 2), n));
    } catch (const std::invalid_argument&) {
      return 0;
    }
    at = 2 + n;
  }
  veltra::SimBus bus(population);
  std::array<std::vector<SimFrame>, 2> serialLine;  // direct, routed
  veltra::fuzz::PieceReader requests(data + at, size - at);
  SimFrame request;
  for (int i = 0; i < kMaxRequests && requests.Next(request); ++i) {
    const int served = bus.Subnet();
    const veltra::SimAnswer answer = bus.Handle(request.data(), request.size(), link);
    if (!answer.request) {
      Require(answer.replies.empty(), "a refused request is answered");
      continue;
    }
    Require(request.size() >= 8 && request[0] == 0x55 && request[1] == 0xAA && request[2] >= 8 &&
                request[2] <= request.size() && veltra::fuzz::ChecksumHolds(request.data(), request[2]),
            "the bus takes bytes that are not a valid frame");
    for (const SimFrame& reply : answer.replies) {
      CheckReply(reply, *answer.request, link, served);
      if (link == veltra::SimLink::Serial) serialLine[answer.request->form == FrameForm::Routed].push_back(reply);
    }
  }
  CheckAssembled(FrameForm::Direct, serialLine[0]);
  CheckAssembled(FrameForm::Routed, serialLine[1]);
  return 0;
}
