// A child process started without a shell, its standard output collected
// through a non-blocking pipe, polled until it has exited and been reaped.
// Standard input and error are /dev/null, so a dialog program cannot touch
// the host's terminal. Used by the desktop dialogs.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class PosixSubprocess {
 public:
  PosixSubprocess() = default;
  PosixSubprocess(const PosixSubprocess&) = delete;
  PosixSubprocess& operator=(const PosixSubprocess&) = delete;
  ~PosixSubprocess();

  // argv[0] is looked up in PATH.
  bool start(const std::vector<std::string>& argv);
  // Reads whatever output has arrived; true once the child has exited (then
  // exitCode is its exit status, or -1 when it was killed by a signal).
  bool poll();
  // Ends a running child and reaps it (SIGTERM, then SIGKILL after 200 ms).
  void terminate();

  bool isRunning() const { return pid_ > 0; }
  int exitCode() const { return exitCode_; }
  const std::string& output() const { return output_; }

  // The full path of an executable found in PATH, or empty.
  static std::string findInPath(const std::string& name);

 private:
  void drain();
  void closePipe();

  pid_t pid_ = -1;
  int pipe_ = -1;
  int exitCode_ = -1;
  std::string output_;
};
