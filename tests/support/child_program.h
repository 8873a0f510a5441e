#pragma once
// A program of the build started in the background, for tests that signal
// or kill it while it runs; its outputs are read once it has ended.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace veltra::test {

class ChildProgram {
 public:
  ChildProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (int& fd : files_) {
      char path[] = "/tmp/veltra-child-XXXXXX";
      fd = mkostemp(path, O_CLOEXEC);
      unlink(path);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, files_[0], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, files_[1], STDERR_FILENO);
    // The child starts with SIGINT and SIGTERM at their defaults and
    // unblocked, whatever this process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, both;
    sigemptyset(&none);
    sigemptyset(&both);
    sigaddset(&both, SIGINT);
    sigaddset(&both, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &both);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  ~ChildProgram() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : files_) ::close(fd);
  }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  bool Started() const { return pid_ > 0; }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // What it has written to its standard output so far.
  std::string OutSoFar() const { return Read(files_[0]); }
  // What it has written to its standard error so far.
  std::string ErrSoFar() const { return Read(files_[1]); }

  // Waits for the end (killing it after `limit`): the exit status, or 128 +
  // the signal that ended it; with what it wrote.
  ProgramRun Wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ended_ = true;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = Read(files_[0]);
    run.err = Read(files_[1]);
    return run;
  }

 private:
  static std::string Read(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n = pread(fd, chunk, sizeof chunk, 0); n > 0;
         n = pread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size())))
      text.append(chunk, static_cast<std::size_t>(n));
    return text;
  }

  pid_t pid_ = -1;
  bool ended_ = false;
  int files_[2] = {-1, -1};
};

}  // namespace veltra::test
