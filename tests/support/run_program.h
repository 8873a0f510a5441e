#pragma once
// Runs a program of the build as from a shell outside a graphical session:
// no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM in its environment.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace veltra::test {

struct ProgramRun {
  int status = -1;  // the exit status; 128 + the signal that ended it; -1 not started
  std::string out;
  std::string err;
};

// Under timeout(1): a program that should have answered at once but waits
// for something instead must not hang the suite (status 124 then).
inline ProgramRun RunWithoutDisplay(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view variable(*entry);
    if (!variable.starts_with("DISPLAY=") && !variable.starts_with("WAYLAND_DISPLAY=") &&
        !variable.starts_with("QT_QPA_PLATFORM="))
      environment.emplace_back(variable);
  }
  std::vector<std::string> args{"timeout", "20", program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (std::string& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
  };
  auto argv = pointers(args);
  auto envp = pointers(environment);

  // The outputs go to unnamed scratch files, read once the program is done.
  int files[2];
  for (int& fd : files) {
    char path[] = "/tmp/veltra-run-XXXXXX";
    fd = mkostemp(path, O_CLOEXEC);
    unlink(path);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, files[0], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, files[1], STDERR_FILENO);
  ProgramRun run;
  pid_t child = -1;
  int status = 0;
  if (posix_spawnp(&child, "timeout", &actions, nullptr, argv.data(), envp.data()) == 0 &&
      waitpid(child, &status, 0) == child)
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 2; ++i) {
    std::string& text = i == 0 ? run.out : run.err;
    char chunk[4096];
    for (ssize_t n = pread(files[i], chunk, sizeof chunk, 0); n > 0;
         n = pread(files[i], chunk, sizeof chunk, static_cast<off_t>(text.size())))
      text.append(chunk, static_cast<std::size_t>(n));
    close(files[i]);
  }
  return run;
}

}  // namespace veltra::test
