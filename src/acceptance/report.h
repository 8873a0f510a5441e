#pragma once
// The forms of an acceptance run's results that outlast it: JUnit XML for CI
// systems and dashboards, and the handover report as HTML (which the PDF is
// printed from, see report_pdf.h). Qt-free, and the same input always gives
// the same bytes: no clock is read here, and lists keep the run's order.
#include <string>

#include "acceptance/acceptance_run.h"

namespace veltra::acceptance {

// What the report says besides the run's results.
struct ReportContext {
  std::string site;          // the plan's site, or the plan file's name
  std::string planFile;      // as given to the tool
  std::string planSha256;    // of the plan file's bytes, hex
  std::string testsFile;     // [[test]] tables beside the plan; empty: none
  std::string testsSha256;
  std::string tool;          // e.g. "veltra-cli 1.0"
  std::string date;          // ISO 8601: the run's date and time, or the one fixed by --report-time
  bool fixedTime = false;    // the date was given: round trips are left out, so the report is reproducible
  std::string link;          // the link in words
  std::string captureFile;   // empty without a capture
  std::string captureSha256;
};

// The date as xs:dateTime for JUnit: a date alone gets T00:00:00.
std::string JUnitTimestamp(const std::string& isoDate);
// True for YYYY-MM-DD, optionally followed by THH:MM[:SS] and Z or +HH:MM.
bool IsIsoDate(const std::string& text);

// One <testsuite> in <testsuites>: a <testcase> per step (classname its
// kind), <failure> with the evidence for a failed one, <skipped> for a
// manual one; the context as <properties>.
std::string JUnitXml(const AcceptanceRun& run, const ReportContext& context);

// The handover report: the context, a summary table, every step with its
// requests and replies (bytes, status word, round trip), the outputs before
// and after, and a last page for the operator's signature. In the HTML that
// Qt's text document reads, so the PDF is the same document.
std::string ReportHtml(const AcceptanceRun& run, const ReportContext& context);

// Bytes as "55 AA 0A ..."; empty for none.
std::string HexBytes(const Bytes& bytes);

}  // namespace veltra::acceptance
