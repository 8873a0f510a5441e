// The bookkeeping between the two sides of the bridge: availability from
// replies and missed polls, the command queue that refuses while the link
// is down, the retained messages kept for every (re)connection, and the
// commands and their catalogue frames.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "../support/catalogue_frames.h"
#include "bridge/availability.h"
#include "bridge/bus_command.h"
#include "bridge/command_queue.h"
#include "bridge/outbox.h"
#include "bridge/retained_store.h"

namespace veltra::bridge {
namespace {

TEST(Availability, OfflineAfterTwoMissedPollsOnlineAtTheNextReply) {
  AvailabilityBook book;
  EXPECT_FALSE(book.Online(3));
  EXPECT_EQ(book.Replied(3), true);
  EXPECT_FALSE(book.Replied(3));  // no change
  EXPECT_FALSE(book.Missed(3));   // one period without a reply: still online
  EXPECT_FALSE(book.Replied(3));
  EXPECT_FALSE(book.Missed(3));   // the count starts again after a reply
  EXPECT_EQ(book.Missed(3), false);
  EXPECT_FALSE(book.Missed(3));   // told once
  EXPECT_EQ(book.Online(3), false);
  EXPECT_EQ(book.Replied(3), true);
  // A module never heard of goes offline after two misses as well.
  EXPECT_FALSE(book.Missed(9));
  EXPECT_EQ(book.Missed(9), false);
  // The link lost: every module offline, told for those not offline yet.
  EXPECT_EQ(book.LinkLost({3, 9, 12}), (std::vector<int>{3, 12}));
  EXPECT_EQ(book.Online(12), false);
  EXPECT_EQ(book.Replied(12), true);
}

TEST(CommandQueue, RefusedWhileTheLinkIsDownAndNeverKeptForLater) {
  CommandQueue queue(2);
  const BusCommand on{{EntityKind::Light, 1, 1}, Action::On};
  const BusCommand off{{EntityKind::Light, 1, 1}, Action::Off};
  EXPECT_EQ(queue.Push(on), CommandQueue::Admission::LinkDown);
  queue.Open();
  EXPECT_EQ(queue.Push(on), CommandQueue::Admission::Queued);
  EXPECT_EQ(queue.Push(off), CommandQueue::Admission::Queued);
  EXPECT_EQ(queue.Push(on), CommandQueue::Admission::Full);
  // The link goes down: what waits is handed back to be refused.
  const auto refused = queue.Close();
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[1].action, Action::Off);
  EXPECT_EQ(queue.Push(on), CommandQueue::Admission::LinkDown);
  queue.Open();  // back: nothing of before comes out
  EXPECT_FALSE(queue.Pop());

  // A waiting bus thread wakes for a command from another thread.
  const auto start = std::chrono::steady_clock::now();
  std::thread pusher([&] { queue.Push(on); });
  queue.WaitUntil(start + std::chrono::seconds(30));
  pusher.join();
  EXPECT_TRUE(queue.Pop());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(RetainedStore, KeepsTheLastOfEachTopicAndSaysWhenItChanged) {
  RetainedStore store;
  EXPECT_TRUE(store.Set(RetainedKind::State, "veltra/home/module/1/light/1/state", "OFF"));
  EXPECT_FALSE(store.Set(RetainedKind::State, "veltra/home/module/1/light/1/state", "OFF"));
  EXPECT_TRUE(store.Set(RetainedKind::State, "veltra/home/module/1/light/1/state", "ON"));
  store.Set(RetainedKind::Bridge, "veltra/home/bridge/state", "online");
  store.Set(RetainedKind::Availability, "veltra/home/module/1/availability", "online");
  store.Set(RetainedKind::Discovery, "homeassistant/light/veltra_home_m1/light_1/config", "{}");
  // Discovery first, the bridge's own state last.
  const auto all = store.All();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].topic, "homeassistant/light/veltra_home_m1/light_1/config");
  EXPECT_EQ(all[1].topic, "veltra/home/module/1/availability");
  EXPECT_EQ(all[2].payload, "ON");
  EXPECT_EQ(all[3].topic, "veltra/home/bridge/state");
  EXPECT_TRUE(store.Remove("veltra/home/module/1/light/1/state"));
  EXPECT_FALSE(store.Remove("veltra/home/module/1/light/1/state"));
  EXPECT_EQ(store.Size(), 3u);
}

TEST(Outbox, SendsInTheOrderPostedFromItsOwnThreadAndEverythingBeforeItStops) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> sent;
  std::thread::id sender;
  bool sending = false, released = false;
  Outbox outbox(
      [&](const Publication& p) {
        std::unique_lock lock(mutex);
        sending = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });  // a slow client: the posts pile up
        sent.push_back(p.topic + "=" + p.payload);
        sender = std::this_thread::get_id();
        return true;
      },
      3);
  outbox.Start();
  EXPECT_TRUE(outbox.Post({"a", "1"}));
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return sending; });  // "a" is being sent; three more fit
  }
  EXPECT_TRUE(outbox.Post({"b", "2"}));
  EXPECT_TRUE(outbox.Post({"a", "3"}));
  EXPECT_TRUE(outbox.Post({"c", ""}));
  EXPECT_FALSE(outbox.Post({"d", "full"}));
  EXPECT_EQ(outbox.Dropped(), 1u);
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  changed.notify_all();
  outbox.Stop();
  EXPECT_EQ(sent, (std::vector<std::string>{"a=1", "b=2", "a=3", "c="}));
  EXPECT_NE(sender, std::this_thread::get_id());
}

TEST(BusCommands, PayloadsBecomeTheCataloguesRequests) {
  struct Case {
    EntityRef entity;
    const char* payload;
    RequestId id;
  };
  const std::vector<Case> cases{
      {{EntityKind::Light, 2, 5}, "ON", RequestId::LightOn},      {{EntityKind::Light, 2, 5}, "off", RequestId::LightOff},
      {{EntityKind::Cover, 3, 4}, "OPEN", RequestId::CurtainOpen}, {{EntityKind::Cover, 3, 1}, "Close", RequestId::CurtainClose},
      {{EntityKind::Cover, 3, 2}, "STOP", RequestId::CurtainStop}, {{EntityKind::Scene, 0, 12}, "ON", RequestId::TestScene},
  };
  for (const FrameForm form : {FrameForm::Routed, FrameForm::Direct})
    for (const Case& c : cases) {
      const auto action = ParseAction(c.entity.kind, c.payload);
      ASSERT_TRUE(action) << c.payload;
      PreparedRequest request = CommandRequest({c.entity, *action}, {form, 4});
      EXPECT_EQ(request.spec, &Request(c.id));
      CompleteFrame(request.buffer.data());
      const Bytes frame(request.buffer.begin(), request.buffer.begin() + request.buffer[2]);
      std::map<std::string, int> fields = test::OutputFields(c.id, c.entity.module, c.entity.number);
      if (c.id == RequestId::TestScene) fields = {{"SCENE", c.entity.number}};
      EXPECT_EQ(frame, test::RequestFrame(c.id, fields, {form, 4})) << c.payload;
    }
  for (const auto& [kind, payload] : std::vector<std::pair<EntityKind, const char*>>{
           {EntityKind::Light, "OPEN"}, {EntityKind::Light, "1"}, {EntityKind::Light, ""}, {EntityKind::Cover, "ON"},
           {EntityKind::Scene, "OFF"}, {EntityKind::Light, "ON "}})
    EXPECT_FALSE(ParseAction(kind, payload)) << payload;
  EXPECT_EQ(StatePayload(EntityKind::Cover, true), "open");
  EXPECT_EQ(StatePayload(EntityKind::Light, false), "OFF");
}

}  // namespace
}  // namespace veltra::bridge
