// Which reply answers which request, by class, command, address, subnet and
// the form replies take on a link.
#include "protocol/reply_match.h"

#include <gtest/gtest.h>

#include "../support/bytes.h"

namespace veltra {
namespace {

// A complete frame from its bytes after the header up to the checksum; the
// first of them stands for Length, which is filled in.
Bytes Framed(const std::string& hex) {
  Bytes frame = test::FromHex("55 AA " + hex);
  frame.resize(frame.size() + 2);
  frame[2] = static_cast<std::uint8_t>(frame.size());
  CompleteFrame(frame.data());
  return frame;
}

ExpectedReply Expect(RequestId id, const std::string& requestHex, FrameForm requestForm, FrameForm replyForm) {
  return ExpectReply(&Request(id), Framed(requestHex), requestForm, replyForm);
}

TEST(ReplyMatch, ClassWithReplyBitCommandAndAddress) {
  // Light On to module 1, routed on subnet 1.
  const ExpectedReply on = Expect(RequestId::LightOn, "00 00 01 01 02 01 00 FF", FrameForm::Routed, FrameForm::Routed);
  EXPECT_TRUE(AnswersRequest(on, Framed("00 00 01 01 82 01 01")));
  EXPECT_FALSE(AnswersRequest(on, Framed("00 00 01 01 82 02 01"))) << "another command";
  EXPECT_FALSE(AnswersRequest(on, Framed("00 00 01 01 02 01 01"))) << "a request, not a reply";
  EXPECT_FALSE(AnswersRequest(on, Framed("00 00 01 02 82 01 01"))) << "another module";
  EXPECT_FALSE(AnswersRequest(on, Framed("00 00 02 01 82 01 01"))) << "another subnet";
  EXPECT_FALSE(AnswersRequest(on, Framed("00 00 01 01 82 01"))) << "no Status";
  // An error status answers too: it is the module's answer.
  EXPECT_TRUE(AnswersRequest(on, Framed("00 00 01 01 82 01 05")));
}

TEST(ReplyMatch, EveryModuleAndProgrammingModeTakeAnyAddress) {
  const ExpectedReply allOff = Expect(RequestId::LightAllOff, "00 00 01 FF 02 05 FF FF", FrameForm::Routed, FrameForm::Routed);
  EXPECT_TRUE(AnswersRequest(allOff, Framed("00 00 01 FF 82 05 01")));
  EXPECT_TRUE(AnswersRequest(allOff, Framed("00 00 01 07 82 05 01")));
  EXPECT_FALSE(AnswersRequest(allOff, Framed("00 00 02 FF 82 05 01"))) << "still the request's subnet";

  const ExpectedReply readAddress = Expect(RequestId::ReadAddress, "00 FF 00 05", FrameForm::Direct, FrameForm::Direct);
  EXPECT_TRUE(AnswersRequest(readAddress, Framed("00 00 80 05 01 03")));
  EXPECT_TRUE(AnswersRequest(readAddress, Framed("00 09 80 05 01 09")));
}

TEST(ReplyMatch, BusSwitchRequests) {
  // "Read" goes to every bus switch: any subnet, any sender.
  const ExpectedReply read = Expect(RequestId::BusSwitchRead, "00 FF FF FF 00 05", FrameForm::Routed, FrameForm::Routed);
  EXPECT_TRUE(read.anySender);
  EXPECT_TRUE(AnswersRequest(read, Framed("00 FF FF FF 80 05 01 00 01")));
  EXPECT_TRUE(AnswersRequest(read, Framed("00 00 07 FF 80 05 01 00 01")));
  // Its type on subnet 1: answered as address 255 on subnet 1, not by a module.
  const ExpectedReply type = Expect(RequestId::BusSwitchReadType, "00 00 01 FF 00 06", FrameForm::Routed, FrameForm::Routed);
  EXPECT_FALSE(type.anySender);
  EXPECT_TRUE(AnswersRequest(type, Framed("00 00 01 FF 80 06 01 10 01")));
  EXPECT_FALSE(AnswersRequest(type, Framed("00 00 01 01 80 06 01 02 08")));
  // On a direct serial line its reply still comes routed.
  const ExpectedReply serial = Expect(RequestId::BusSwitchReadType, "00 00 01 FF 00 06", FrameForm::Routed,
                                      FrameForm::Routed);
  EXPECT_EQ(serial.form, FrameForm::Routed);
}

TEST(ReplyMatch, DirectRequestRoutedReply) {
  // Infrared over UDP: sent direct, answered routed on the bus switch's subnet.
  const ExpectedReply send = Expect(RequestId::InfraredSendCode, "00 04 03 04 01 05", FrameForm::Direct, FrameForm::Routed);
  EXPECT_FALSE(send.subnet.has_value());
  EXPECT_TRUE(AnswersRequest(send, Framed("00 00 09 04 83 04 01")));
  EXPECT_FALSE(AnswersRequest(send, Framed("00 04 83 04 01"))) << "a direct frame read as routed is another frame";
}

TEST(ReplyMatch, RawFramesAreToldFromTheirBytes) {
  const ExpectedReply toModule = ExpectReply(nullptr, Framed("00 00 01 05 00 06"), FrameForm::Routed, FrameForm::Routed);
  EXPECT_EQ(toModule.address, 5);
  EXPECT_EQ(toModule.subnet, 1);
  const ExpectedReply toAll = ExpectReply(&Request(RequestId::RawFrame), Framed("00 FF FF FF 00 05"), FrameForm::Routed,
                                          FrameForm::Routed);
  EXPECT_FALSE(toAll.address.has_value());
  EXPECT_FALSE(toAll.subnet.has_value());
  EXPECT_TRUE(toAll.anySender);
}

}  // namespace
}  // namespace veltra
