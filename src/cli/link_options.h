#pragma once
// The tool's link options (link/link_options.h) as command-line options, and
// how the tool reports a link's failure.
#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "link/link_options.h"

namespace veltra::cli {

using veltra::LinkOptions;
using veltra::OpenLink;
using veltra::SplitHostPort;

// The words --parity and --stop-bits take.
inline const std::vector<std::string> kParityWords(kParityNames.begin(), kParityNames.end());
inline const std::vector<std::string> kStopBitWords(kStopBitsNames.begin(), kStopBitsNames.end());

void AddLinkOptions(CLI::App& app, LinkOptions& options);

// Writes "veltra-cli: TEXT (REASON)" for a link's failure, the reason
// explained with a hint where one helps, and returns kExitLinkError.
int ReportLinkError(std::ostream& err, const LinkError& error, const LinkOptions& options);

}  // namespace veltra::cli
