#pragma once
// Runs a program of the build as from a shell outside a graphical session:
// no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM in its environment.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace veltra::test {

struct ProgramRun {
  int status = -1;  // the exit status; 128 + the signal that ended it; -1 not started
  std::string out;
  std::string err;
};

namespace detail {

inline int ScratchFile() {
  char path[] = "/tmp/veltra-run-XXXXXX";
  const int fd = mkostemp(path, O_CLOEXEC);
  if (fd >= 0) unlink(path);
  return fd;
}

inline std::string ReadFromStart(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char chunk[4096];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

}  // namespace detail

// Killed after `limit`: a program that should have answered at once but
// opened a window instead must not hang the suite.
inline ProgramRun RunWithoutDisplay(const std::string& program, const std::vector<std::string>& arguments,
                                    std::chrono::seconds limit = std::chrono::seconds(20)) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view variable(*entry);
    if (variable.starts_with("DISPLAY=") || variable.starts_with("WAYLAND_DISPLAY=") ||
        variable.starts_with("QT_QPA_PLATFORM="))
      continue;
    environment.emplace_back(variable);
  }
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  ProgramRun run;
  const int out = detail::ScratchFile();
  const int err = detail::ScratchFile();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&files, err, STDERR_FILENO);
  pid_t child = -1;
  const bool started = out >= 0 && err >= 0 &&
                       posix_spawn(&child, program.c_str(), &files, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&files);
  if (started) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  if (out >= 0) run.out = detail::ReadFromStart(out);
  if (err >= 0) run.err = detail::ReadFromStart(err);
  return run;
}

}  // namespace veltra::test
