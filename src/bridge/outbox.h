#pragma once
// The bridge's publications on their way to the MQTT client, in the order
// they were made, sent by a thread of their own. Nothing that holds the
// bridge's lock calls the client, and nothing the client's threads call
// waits for a thread that is inside the client: Paho calls its handlers with
// its own lock held, so a thread that held the bridge's lock while it
// published would deadlock against a handler waiting for that lock.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace veltra::bridge {

struct Publication {
  std::string topic;
  std::string payload;
  int qos = 1;
  bool retain = true;
};

class Outbox {
 public:
  // send: publishes one message (false when it could not; the message is
  // then dropped: retained ones are sent again at the next connection).
  using Send = std::function<bool(const Publication&)>;

  explicit Outbox(Send send, std::size_t capacity = 65536);
  ~Outbox();
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  void Start();
  // Queues a publication; false (and dropped) when the outbox is full.
  bool Post(Publication publication);
  // Sends what is queued, then ends the thread.
  void Stop();
  // Publications dropped because the outbox was full.
  std::size_t Dropped() const;

 private:
  void Run();

  Send send_;
  std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Publication> queue_;
  std::size_t dropped_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace veltra::bridge
