#pragma once
// "monitor": every valid frame the link receives, one line each, until the
// stop: its date and time, where it came from, who sent it to whom
// (subnet/address) and what it is (the catalogue's name of its command).
#include <nlohmann/json.hpp>
#include <chrono>
#include <string>

#include "cli/cli_app.h"
#include "cli/global_options.h"
#include "link/link.h"

namespace veltra::cli {

// Runs until the stop is raised: exit ExitForSignal(its reason). A serial
// line opened with recovery waits for an unplugged adapter and goes on when
// it is back, saying both on the standard error; without it a line that
// hangs up ends the run with LinkError, as does any failure of the link.
int Monitor(Link& link, const GlobalOptions& options, Environment env);

// One frame as monitor shows it, received at `at` from `source` and read in
// `form`. Nothing for bytes that are no valid frame.
struct MonitorLine {
  std::string text;
  nlohmann::ordered_json json;
};
std::optional<MonitorLine> DescribeFrame(const ReceivedUnit& unit, std::chrono::system_clock::time_point at,
                                         FrameForm form, bool showBytes);

}  // namespace veltra::cli
