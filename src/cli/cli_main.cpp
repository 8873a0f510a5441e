// veltra-cli: the console's requests from the command line. See cli_app.h.
#include <csignal>
#include <iostream>

#include "cli/cli_app.h"

namespace {
std::atomic<bool> stopRequested{false};
}

int main(int argc, char** argv) {
  std::signal(SIGINT, [](int) { stopRequested = true; });
  std::signal(SIGTERM, [](int) { stopRequested = true; });
  return veltra::cli::Run({argv + 1, argv + argc}, {std::cout, std::cerr, &stopRequested});
}
