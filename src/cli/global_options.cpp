#include "cli/global_options.h"

namespace veltra::cli {

void AddGlobalOptions(CLI::App& app, GlobalOptions& o) {
  AddLinkOptions(app, o.link);
  CLI::Option* json = app.add_flag("--json", o.json, "one JSON object per request (see the manual page for the fields)");
  o.jsonOption = json;
  app.add_flag("--show-bytes", o.showBytes, "the frames' bytes in the log lines");
  app.add_flag("-q,--quiet", o.quiet, "print only the result (nothing for commands without one)")
      ->excludes(json);
  app.add_option("--scene-db", o.sceneDb, "store confirmed scenes in this scene database");
  app.add_option("--capture", o.capture, "write every frame sent and received to this pcap file (for Wireshark)");
  o.repeatOption = app.add_option("--repeat", o.repeat, "send the request N times (run: go through the file N times)")
                       ->check(CLI::Range(1, 100000000));
  o.intervalOption =
      app.add_option("--interval", o.intervalMs, "wait MS between repeated requests (run: between rounds)")
          ->check(CLI::Range(0, 86400000));
  app.add_option("--history-file", o.historyFile,
                 "the frame history to read or record into (default: $XDG_STATE_HOME/veltra/history.sqlite)");
}

}  // namespace veltra::cli
