// The writer behind the links' observers: every observation lands in the
// history in its session, from several links at once, with nothing left in
// its queue when it is flushed or destroyed, and a commit listener hears of
// the rows stored.
#include "history/history_writer.h"

#include <gtest/gtest.h>

#include <thread>

#include "history_support.h"

namespace veltra::history {
namespace {

ObservedFrame Frame(ObservedKind kind, const Bytes& bytes, const LinkEndpoint& peer, const LineTiming& line) {
  ObservedFrame f;
  f.kind = kind;
  f.bytes = bytes;
  f.at = std::chrono::system_clock::now();
  f.peer = peer;
  f.line = line;
  return f;
}

TEST(HistoryWriter, EveryObservationOfEveryLinkLandsInItsSession) {
  test::ScratchFolder folder;
  const std::string path = folder.File("history.sqlite");
  std::vector<std::int64_t> listened;
  HistoryWriter writer(path, "test");
  writer.SetCommitListener([&listened](const std::vector<FrameRecord>& rows) {
    for (const FrameRecord& r : rows) listened.push_back(r.id);
  });
  const Bytes serialFrame = test::LightOn(1, 1), udpFrame = test::LightOn(2, 2, FrameForm::Routed);
  auto observe = [&](const LinkEndpoint& peer, const LineTiming& line, const Bytes& bytes) {
    for (int i = 0; i < 500; ++i) writer.OnObserved(Frame(ObservedKind::Sent, bytes, peer, line));
  };
  std::thread serial(observe, test::kSerialPeer, test::kLine9600, serialFrame);
  std::thread udp(observe, test::kUdpPeer, LineTiming{}, udpFrame);
  serial.join();
  udp.join();
  writer.Flush();
  EXPECT_EQ(writer.Written(), 1000);
  EXPECT_EQ(writer.Dropped(), 0);
  EXPECT_EQ(writer.LastError(), "");
  EXPECT_EQ(listened.size(), 1000u);

  HistoryStore store(path, HistoryStore::Mode::Existing);
  const std::vector<FrameRecord> rows = store.After({}, std::nullopt, 5000);
  ASSERT_EQ(rows.size(), 1000u);
  std::map<std::string, int> perLink;
  for (const FrameRecord& r : rows) {
    EXPECT_EQ(r.session, writer.Session());
    const LinkInfo& link = store.Link(r.link);
    ++perLink[link.Text()];
    EXPECT_EQ(r.bytes, link.serial ? serialFrame : udpFrame);
    EXPECT_EQ(link.line.baud, link.serial ? 9600u : 0u);
  }
  EXPECT_EQ(perLink["Com /dev/ttyUSB0"], 500);
  EXPECT_EQ(perLink["TCP/IP 127.0.0.1:2001"], 500);
}

TEST(HistoryWriter, WhatIsQueuedIsCommittedWhenItEnds) {
  test::ScratchFolder folder;
  const std::string path = folder.File("history.sqlite");
  std::int64_t session = 0;
  {
    // Commits would come only after a minute: the end must do it.
    HistoryWriter::Options slow;
    slow.commitEvery = std::chrono::minutes(1);
    HistoryWriter writer(path, "test", slow);
    session = writer.Session();
    for (int i = 0; i < 300; ++i)
      writer.OnObserved(Frame(ObservedKind::Unrelated, test::LightReply(3, kStatusOk), test::kSerialPeer, {}));
  }
  HistoryStore store(path, HistoryStore::Mode::Existing);
  HistoryFilter mine;
  mine.session = session;
  EXPECT_EQ(store.After(mine, std::nullopt, 1000).size(), 300u);
}

TEST(HistoryWriter, EachRunIsASessionOfItsOwn) {
  test::ScratchFolder folder;
  const std::string path = folder.File("history.sqlite");
  std::int64_t first = 0;
  {
    HistoryWriter writer(path, "test");
    first = writer.Session();
    writer.OnObserved(Frame(ObservedKind::Sent, test::LightOn(1, 1), test::kSerialPeer, {}));
  }
  HistoryWriter writer(path, "test");
  EXPECT_GT(writer.Session(), first);
  writer.OnObserved(Frame(ObservedKind::Sent, test::LightOn(1, 1), test::kSerialPeer, {}));
  writer.Flush();
  HistoryStore store(path, HistoryStore::Mode::Existing);
  EXPECT_EQ(store.FrameCount(), 2);
  HistoryFilter current;
  current.session = writer.Session();
  EXPECT_EQ(store.After(current, std::nullopt, 10).size(), 1u);
}

}  // namespace
}  // namespace veltra::history
