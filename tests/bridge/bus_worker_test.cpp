// The bus thread against the simulated bus, over UDP and on a
// pseudo-terminal, without a broker: commands become the catalogue's frames
// and are followed by a status read of what they changed; a module the plan
// leaves open is read from the bus; polling keeps to its share of a serial
// line. (Modules leaving the bus and a link that is down are tested end to
// end, with a broker, in bridge_mqtt_test.cpp.)
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "../support/catalogue_frames.h"
#include "bridge/bus_worker.h"
#include "plan_text.h"
#include "sim/simulator_runtime.h"

namespace veltra::bridge {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the bus thread tells, kept for the test to wait on.
class Recorder final : public BusEvents {
 public:
  struct States {
    int module;
    EntityKind kind;
    std::vector<bool> outputs;
  };

  void LinkChanged(bool up, const std::string&) override { Add([&] { links.push_back(up); }); }
  void AvailabilityChanged(int module, bool online) override {
    Add([&] { availability.push_back({module, online}); });
  }
  void StatesRead(const SiteModule& m, const std::vector<bool>& outputs) override {
    Add([&] { states.push_back({m.address, m.OutputKind(), outputs}); });
  }
  void ModelChanged(const SiteModel& model, int module) override {
    Add([&] { changed.push_back(*model.Find(module)); });
  }
  void CommandFailed(const BusCommand& command, const std::string& why) override {
    Add([&] { failed.push_back({command, why}); });
  }

  // Waits until the condition holds (checked under the lock).
  template <class Condition>
  bool WaitFor(Condition condition, Clock::duration limit = 10s) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, limit, condition);
  }

  std::mutex mutex;
  std::condition_variable cv;
  std::vector<bool> links;
  std::vector<std::pair<int, bool>> availability;
  std::vector<States> states;
  std::vector<SiteModule> changed;
  std::vector<std::pair<BusCommand, std::string>> failed;

 private:
  template <class F>
  void Add(F f) {
    {
      std::lock_guard lock(mutex);
      f();
    }
    cv.notify_all();
  }
};

using test::PlanOf;

const char* const kPlan = R"(
[[module]]
address = 1
type = "0208"
  [[module.scene]]
  number = 4
  channels = "1 1"
[[module]]
address = 3
type = "0104"
)";

// The simulator's log lines that show a request arriving.
class SimRequests {
 public:
  explicit SimRequests(SimulatorRuntime& sim) : sim_(sim) {
    sim.SetLogListener([this](const std::string& line) {
      std::lock_guard lock(mutex_);
      if (line.find("> ") != std::string::npos) lines_.push_back(line);
    });
  }
  // How many arrived with exactly these frame bytes.
  // No line comes in once this returns, whatever the simulator still does.
  ~SimRequests() { sim_.SetLogListener({}); }
  SimRequests(const SimRequests&) = delete;
  SimRequests& operator=(const SimRequests&) = delete;

  int Count(const Bytes& frame) const {
    std::string hex;
    char byte[4];
    for (std::size_t i = 0; i < frame.size(); ++i) {
      std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", frame[i]);
      hex += byte;
    }
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const std::string& line : lines_) n += line.size() >= hex.size() && line.ends_with("| " + hex);
    return n;
  }
  std::size_t Size() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
  }

 private:
  SimulatorRuntime& sim_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

struct LinkCase {
  bool udp;
  const char* name;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class BusWorkerTest : public ::testing::TestWithParam<LinkCase> {
 protected:
  BusWorkerTest() : requests(sim) {}

  WorkerSettings Settings(Clock::duration interval = 10s) const {
    WorkerSettings s;
    if (GetParam().udp) {
      s.link.udp = "127.0.0.1:" + std::to_string(sim.UdpPort());
      s.link.localPort = 0;
    } else {
      s.link.serial = sim.PtySlavePath();
    }
    s.link.timeoutMs = 150;
    s.pollInterval = interval;
    s.budgetShare = 1.0;  // the pty moves bytes at once: the budget is tested on its own
    s.reopenAfter = 100ms;
    return s;
  }
  Addressing Form() const { return {GetParam().udp ? FrameForm::Routed : FrameForm::Direct, 1}; }
  Bytes Frame(RequestId id, std::map<std::string, int> fields) const { return test::RequestFrame(id, fields, Form()); }

  SimulatorRuntime sim;
  SimRequests requests;
  Recorder events;
};

TEST_P(BusWorkerTest, ACommandIsTheCataloguesFrameAndItsModuleIsReadBack) {
  BusWorker worker(Settings(), SiteModel(PlanOf(kPlan)), events);
  worker.Start();
  ASSERT_TRUE(events.WaitFor([&] { return events.states.size() >= 2; }));  // the first round: both modules
  ASSERT_TRUE(worker.LinkUp());
  const std::size_t before = events.states.size();
  ASSERT_EQ(worker.Submit({{EntityKind::Light, 1, 3}, Action::On}), CommandQueue::Admission::Queued);
  ASSERT_TRUE(events.WaitFor([&] { return events.states.size() > before; }));
  EXPECT_EQ(requests.Count(Frame(RequestId::LightOn, {{"ADDR", 1}, {"OUTPUT", 3}})), 1);
  EXPECT_EQ(sim.Bus().Module(1)->outputs[2], 1);
  {
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.states.back().module, 1);
    EXPECT_EQ(events.states.back().outputs, (std::vector<bool>{false, false, true, false, false, false, false, false}));
  }
  // A curtain, then a scene: it runs on the bus, and the modules that hold
  // it in the plan are read back.
  worker.Submit({{EntityKind::Cover, 3, 2}, Action::Open});
  ASSERT_TRUE(events.WaitFor([&] { return events.states.back().module == 3; }));
  EXPECT_EQ(events.states.back().kind, EntityKind::Cover);
  EXPECT_TRUE(events.states.back().outputs[1]);
  RequestValues channels;
  channels.channelItems = {0, 1};
  const Bytes program = test::RequestFrame(RequestId::SetScene, {{"ADDR", 1}, {"SCENE", 4}}, Form(), channels);
  sim.Bus().Handle(program.data(), program.size(), GetParam().udp ? SimLink::Udp : SimLink::Serial);
  const std::size_t beforeScene = events.states.size();
  worker.Submit({{EntityKind::Scene, 0, 4}, Action::Activate});
  ASSERT_TRUE(events.WaitFor([&] { return events.states.size() > beforeScene; }));
  EXPECT_EQ(requests.Count(Frame(RequestId::TestScene, {{"SCENE", 4}})), 1);
  EXPECT_EQ(events.states.back().module, 1);
  EXPECT_EQ(events.states.back().outputs, (std::vector<bool>{false, true, true, false, false, false, false, false}));
  // An entity the site does not have is refused, and nothing is sent.
  const std::size_t sent = requests.Size();
  worker.Submit({{EntityKind::Light, 3, 1}, Action::On});
  ASSERT_TRUE(events.WaitFor([&] { return !events.failed.empty(); }));
  EXPECT_EQ(events.failed[0].second, "the site has no such light");
  worker.Stop();
  EXPECT_LE(requests.Size(), sent + 2);  // at most polls went meanwhile
  EXPECT_EQ(requests.Count(Frame(RequestId::LightOn, {{"ADDR", 3}, {"OUTPUT", 1}})), 0);
}

TEST_P(BusWorkerTest, AModuleThePlanLeavesOpenIsReadFromTheBus) {
  BusWorker worker(Settings(), SiteModel(PlanOf("[[module]]\naddress = 3\nname = \"Bay window\"\n")), events);
  worker.Start();
  ASSERT_TRUE(events.WaitFor([&] { return !events.changed.empty() && !events.states.empty(); }));
  EXPECT_EQ(events.changed[0].OutputKind(), EntityKind::Cover);
  EXPECT_EQ(events.changed[0].outputs, 4);
  EXPECT_EQ(events.changed[0].type, "0104");
  EXPECT_EQ(requests.Count(Frame(RequestId::ReadModuleType, {{"ADDR", 3}})), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, BusWorkerTest, ::testing::Values(LinkCase{true, "Udp"}, LinkCase{false, "Pty"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The serial line with a real line's pace: polling keeps to its share of
// the line's time, here 20 % of 9600 baud with 32 modules read as fast as
// the budget allows.
TEST(BusWorkerBudget, PollingKeepsToItsShareOfASerialLine) {
  SimulatorOptions options;
  options.udp = false;
  options.baud = 9600;
  options.population.clear();
  std::string plan;
  for (int m = 1; m <= 32; ++m) {
    options.population.push_back({ModuleKind::Light, m, false, 8});
    plan += "[[module]]\naddress = " + std::to_string(m) + "\ntype = \"0208\"\n";
  }
  SimulatorRuntime sim(options);
  SimRequests requests(sim);
  Recorder events;
  WorkerSettings s;
  s.link.serial = sim.PtySlavePath();
  s.pollInterval = 100ms;  // far more than the budget allows
  s.budgetShare = 0.2;
  BusWorker worker(s, SiteModel(PlanOf(plan)), events);
  worker.Start();
  ASSERT_TRUE(events.WaitFor([&] { return events.states.size() >= 1; }));
  const auto from = Clock::now();
  const std::size_t before = requests.Size();
  std::this_thread::sleep_for(2s);
  const std::size_t polls = requests.Size() - before;
  const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
  worker.Stop();
  // A ReadStatus request and its reply with the status bytes of 8 outputs.
  const int bytes = static_cast<int>(test::RequestFrame(RequestId::ReadStatus, {{"ADDR", 1}}, {FrameForm::Direct, 1}).size()) +
                    FrameLength(FrameForm::Direct, 2 + 8);
  const double pollSeconds = bytes * 10.0 / 9600;
  EXPECT_LE(polls * pollSeconds, 0.2 * seconds + pollSeconds) << polls << " polls in " << seconds << " s";
  EXPECT_GT(polls, 0u);
}

}  // namespace
}  // namespace veltra::bridge
