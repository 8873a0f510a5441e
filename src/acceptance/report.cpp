#include "acceptance/report.h"

#include <charconv>
#include <regex>

namespace veltra::acceptance {
namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Control characters have no place in XML 1.0: shown as spaces.
        out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? ' ' : c;
    }
  }
  return out;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  // Not printf: a locale with a decimal comma would change the report.
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
  return std::string(text, end);
}

double Seconds(const StepResult& r) {
  double ms = 0;
  for (const Exchanged& x : r.exchanges) ms += x.roundTripMs.value_or(0);
  return ms / 1000;
}

std::string ExchangeLines(const std::vector<Exchanged>& exchanges) {
  std::string text;
  for (const Exchanged& x : exchanges) {
    text += x.purpose + ": sent " + HexBytes(x.request) + "; ";
    text += x.reply ? "reply " + HexBytes(*x.reply) + " " + x.statusWord : x.statusWord;
    if (x.roundTripMs) text += " (" + Fixed(*x.roundTripMs, 2) + " ms)";
    text += '\n';
  }
  return text;
}

std::string Summary(const AcceptanceRun& run) {
  const int steps = static_cast<int>(run.Steps().size());
  std::string text = std::to_string(steps) + (steps == 1 ? " step: " : " steps: ") +
                     std::to_string(run.Count(Verdict::Passed)) + " passed, " +
                     std::to_string(run.Count(Verdict::Failed)) + " failed, " +
                     std::to_string(run.Count(Verdict::Manual)) + " manual";
  const int notRun = steps - static_cast<int>(run.Results().size());
  if (notRun > 0) text += ", " + std::to_string(notRun) + " not run (stopped)";
  return text;
}

std::string Outcome(const AcceptanceRun& run) {
  if (run.ExitStatus() == 4) return "NOTHING ANSWERED";
  if (run.Count(Verdict::Failed) > 0) return "FAILED";
  if (run.Stopped()) return "STOPPED";
  if (run.Count(Verdict::Manual) > 0) return "PASSED, with manual steps to sign off";
  return "PASSED";
}

}  // namespace

std::string HexBytes(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

bool IsIsoDate(const std::string& text) {
  static const std::regex pattern(R"(\d{4}-\d{2}-\d{2}([T ]\d{2}:\d{2}(:\d{2})?(Z|[+-]\d{2}:\d{2})?)?)");
  if (!std::regex_match(text, pattern)) return false;
  const int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (text.size() > 10) {
    const int hour = std::stoi(text.substr(11, 2)), minute = std::stoi(text.substr(14, 2));
    if (hour > 23 || minute > 59) return false;
  }
  return true;
}

std::string JUnitTimestamp(const std::string& isoDate) {
  std::string stamp = isoDate;
  if (stamp.size() == 10) return stamp + "T00:00:00";
  if (stamp.size() > 10) stamp[10] = 'T';
  // HH:MM alone: xs:dateTime wants the seconds.
  if (stamp.size() == 16 || (stamp.size() > 16 && stamp[16] != ':')) stamp.insert(16, ":00");
  return stamp;
}

std::string JUnitXml(const AcceptanceRun& run, const ReportContext& c) {
  const auto& results = run.Results();
  double total = 0;
  for (const StepResult& r : results) total += Seconds(r);
  const std::string counts = " tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
                             std::to_string(run.Count(Verdict::Failed)) + "\" errors=\"0\" skipped=\"" +
                             std::to_string(run.Count(Verdict::Manual)) + "\" time=\"" + Fixed(total, 3) + "\"";
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<testsuites name=\"" + Escaped("plan test " + c.planFile) + "\"" + counts + ">\n";
  xml += "  <testsuite name=\"" + Escaped(c.site) + "\"" + counts + " timestamp=\"" +
         Escaped(JUnitTimestamp(c.date)) + "\">\n";
  xml += "    <properties>\n";
  auto property = [&xml](const std::string& name, const std::string& value) {
    if (!value.empty())
      xml += "      <property name=\"" + Escaped(name) + "\" value=\"" + Escaped(value) + "\"/>\n";
  };
  property("site", c.site);
  property("plan_file", c.planFile);
  property("plan_sha256", c.planSha256);
  property("tests_file", c.testsFile);
  property("tests_sha256", c.testsSha256);
  property("tool", c.tool);
  property("link", c.link);
  property("capture_file", c.captureFile);
  property("capture_sha256", c.captureSha256);
  xml += "    </properties>\n";
  for (const StepResult& r : results) {
    xml += "    <testcase name=\"" + Escaped(r.name) + "\" classname=\"" + std::string(plan::KindName(r.step.kind)) +
           "\" time=\"" + Fixed(Seconds(r), 3) + "\"";
    const std::string out = ExchangeLines(r.exchanges);
    if (r.verdict == Verdict::Passed && out.empty()) {
      xml += "/>\n";
      continue;
    }
    xml += ">\n";
    if (r.verdict == Verdict::Failed)
      xml += "      <failure message=\"" + Escaped(r.evidence) + "\" type=\"failed\">" + Escaped(out) +
             "</failure>\n";
    if (r.verdict == Verdict::Manual) xml += "      <skipped message=\"" + Escaped("manual: " + r.evidence) + "\"/>\n";
    if (!out.empty()) xml += "      <system-out>" + Escaped(out) + "</system-out>\n";
    xml += "    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  return xml;
}

std::string ReportHtml(const AcceptanceRun& run, const ReportContext& c) {
  std::string h;
  auto row = [&h](const std::string& name, const std::string& value) {
    h += "<tr><th align=\"left\">" + Escaped(name) + "</th><td>" + Escaped(value) + "</td></tr>\n";
  };
  auto roundTrip = [&c](const Exchanged& x) -> std::string {
    if (!x.roundTripMs) return "";
    if (c.fixedTime) return "-";
    return Fixed(*x.roundTripMs, 2) + " ms";
  };
  auto exchangeTable = [&](const std::vector<Exchanged>& list) {
    if (list.empty()) return;
    h += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n"
         "<tr><th>Request</th><th>Sent</th><th>Reply</th><th>Status</th><th>Round trip</th></tr>\n";
    for (const Exchanged& x : list) {
      h += "<tr><td>" + Escaped(x.purpose) + "</td><td><code>" + HexBytes(x.request) + "</code></td><td><code>" +
           (x.reply ? HexBytes(*x.reply) : std::string()) + "</code></td><td>" + Escaped(x.statusWord) + "</td><td>" +
           roundTrip(x) + "</td></tr>\n";
    }
    h += "</table>\n";
  };

  h += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
  h += "<title>" + Escaped("Handover report: " + c.site) + "</title>\n";
  h += "<style>\nbody { font-family: sans-serif; font-size: 10pt; }\n"
       "th { background-color: #e8e8e8; }\n"
       "code { font-family: monospace; font-size: 8pt; }\n"
       ".passed { color: #006600; } .failed { color: #aa0000; } .manual { color: #885500; }\n"
       "</style>\n</head>\n<body>\n";
  h += "<h1>Handover report: " + Escaped(c.site) + "</h1>\n";
  h += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n";
  row("Site", c.site);
  row("Plan file", c.planFile);
  row("Plan SHA-256", c.planSha256);
  if (!c.testsFile.empty()) {
    row("Test steps file", c.testsFile);
    row("Test steps SHA-256", c.testsSha256);
  }
  row("Tool", c.tool);
  row("Date", c.date);
  row("Link", c.link);
  if (!c.captureFile.empty()) {
    row("Capture file", c.captureFile);
    row("Capture SHA-256", c.captureSha256);
  }
  h += "</table>\n";
  if (c.fixedTime)
    h += "<p><i>This report was made with a fixed date, to be reproducible: round trips, which differ from run to "
         "run, are left out (shown as -).</i></p>\n";

  h += "<h2>Summary</h2>\n";
  h += "<p><b>Result: " + Escaped(Outcome(run)) + "</b>. " + Escaped(Summary(run)) + ".</p>\n";
  h += "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n"
       "<tr><th>#</th><th>Step</th><th>Kind</th><th>Result</th></tr>\n";
  const auto& results = run.Results();
  for (std::size_t i = 0; i < run.Steps().size(); ++i) {
    const bool done = i < results.size();
    const std::string name = done ? results[i].name : StepName(run.Plan(), run.Steps()[i]);
    const std::string verdict = done ? std::string(VerdictWord(results[i].verdict)) : "not run";
    h += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + Escaped(name) + "</td><td>" +
         std::string(plan::KindName(run.Steps()[i].kind)) + "</td><td class=\"" + (done ? verdict : "manual") + "\">" +
         verdict + "</td></tr>\n";
  }
  h += "</table>\n";

  h += "<h2>Steps</h2>\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const StepResult& r = results[i];
    const std::string verdict(VerdictWord(r.verdict));
    h += "<h3>" + std::to_string(i + 1) + ". " + Escaped(r.name) + "</h3>\n";
    h += "<p>" + std::string(plan::KindName(r.step.kind)) + " step: <span class=\"" + verdict + "\"><b>" + verdict +
         "</b></span>" + (r.evidence.empty() ? "" : ". " + Escaped(r.evidence)) + "</p>\n";
    exchangeTable(r.exchanges);
    if (!r.heard.empty()) {
      h += "<p>Frames heard on the bus meanwhile:</p>\n<ul>\n";
      for (const Bytes& frame : r.heard) h += "<li><code>" + HexBytes(frame) + "</code></li>\n";
      h += "</ul>\n";
    }
  }

  h += "<h2>Outputs before and after the test</h2>\n";
  h += "<p>Read before the steps, to set them back afterwards:</p>\n";
  exchangeTable(run.Snapshot());
  if (run.Restore().empty() && run.RestoreProblems().empty())
    h += "<p>Not set back: the outputs were left as the steps left them.</p>\n";
  else
    exchangeTable(run.Restore());
  for (const std::string& problem : run.RestoreProblems())
    h += "<p class=\"failed\">Not set back: " + Escaped(problem) + "</p>\n";

  h += "<h2 style=\"page-break-before: always\">Handover</h2>\n";
  h += "<p>The site " + Escaped(c.site) + " was tested as listed above on " + Escaped(c.date) +
       ". Steps marked manual were checked by the operator in person.</p>\n";
  h += "<table border=\"0\" cellspacing=\"0\" cellpadding=\"12\" width=\"100%\">\n";
  for (const char* line : {"Operator (name)", "Operator (signature)", "Client (name)", "Client (signature)",
                           "Place and date"})
    h += std::string("<tr><td width=\"35%\">") + line + "</td><td>______________________________________</td></tr>\n";
  h += "</table>\n</body>\n</html>\n";
  return h;
}

}  // namespace veltra::acceptance
