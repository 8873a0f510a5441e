#pragma once
// The tool's link options (link/link_options.h) as command-line options.
#include <CLI/CLI.hpp>

#include "link/link_options.h"

namespace veltra::cli {

using veltra::LinkOptions;
using veltra::OpenLink;
using veltra::SplitHostPort;

void AddLinkOptions(CLI::App& app, LinkOptions& options);

}  // namespace veltra::cli
