// The site-plan parser on arbitrary text.
//
// Properties: ParsePlan never throws; it gives a plan exactly when it reports
// no error; every error names the file it was given, carries a message and a
// place inside the text (line 0 only for problems without a place); and a
// plan it accepts, written out again, reads back without errors to the same
// written form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "plan/site_plan.h"

namespace {

using veltra::fuzz::Require;
constexpr std::string_view kFile = "fuzz.toml";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

  const veltra::plan::ParseResult result = veltra::plan::ParsePlan(text, kFile);
  Require(result.plan.has_value() == result.errors.empty(), "a plan exactly when there is no error");
  for (const veltra::plan::Error& error : result.errors) {
    Require(error.file == kFile, "an error names the file");
    Require(!error.message.empty(), "an error says what is wrong");
    Require(error.line >= 0 && error.line <= lines, "an error's line lies in the text");
    Require(error.column >= 0, "an error's column is not negative");
    Require(error.line > 0 || error.column == 0, "no column without a line");
  }
  if (!result.plan) return 0;

  const std::string written = veltra::plan::WritePlan(*result.plan);
  const veltra::plan::ParseResult again = veltra::plan::ParsePlan(written, kFile);
  Require(again.errors.empty() && again.plan.has_value(), "a written plan reads back without errors");
  Require(veltra::plan::WritePlan(*again.plan) == written, "a written plan reads back to the same plan");
  return 0;
}
