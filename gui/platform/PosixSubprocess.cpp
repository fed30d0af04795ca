// Child processes for the desktop dialogs (see PosixSubprocess.h): spawned
// with posix_spawnp, read and reaped without ever waiting, except on terminate.
#include "gui/platform/PosixSubprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

extern char** environ;

PosixSubprocess::~PosixSubprocess() { terminate(); }

bool PosixSubprocess::start(const std::vector<std::string>& argv) {
  if (pid_ > 0 || argv.empty()) return false;
  output_.clear();
  exitCode_ = -1;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (result != 0) {
    close(fds[0]);
    return false;
  }
  pid_ = pid;
  pipe_ = fds[0];
  fcntl(pipe_, F_SETFL, fcntl(pipe_, F_GETFL) | O_NONBLOCK);
  return true;
}

void PosixSubprocess::drain() {
  if (pipe_ < 0) return;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(pipe_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0) closePipe();  // end of output
      return;
    }
  }
}

void PosixSubprocess::closePipe() {
  if (pipe_ >= 0) close(pipe_);
  pipe_ = -1;
}

bool PosixSubprocess::poll() {
  if (pid_ <= 0) return true;
  drain();
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) return false;
  pid_ = -1;
  exitCode_ = (done > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  drain();
  closePipe();
  return true;
}

void PosixSubprocess::terminate() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    // Dialog programs end on SIGTERM at once; one that does not gets 200 ms
    // and then SIGKILL, so closing an editor never hangs the host.
    bool reaped = false;
    for (int i = 0; i < 40 && !reaped; ++i) {
      reaped = waitpid(pid_, &status, WNOHANG) != 0;
      if (!reaped) usleep(5000);
    }
    if (!reaped) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  closePipe();
}

std::string PosixSubprocess::findInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}
