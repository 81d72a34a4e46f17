/// Runs the built executable with posix_spawn and collects its output.
#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>  // NOLINT(modernize-deprecated-headers): POSIX kill
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempPath() {
  char path[] = "/tmp/largeprime-test-XXXXXX";
  const int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  return path;
}

// The argument vector for the program: its path, the arguments, a null pointer.
std::vector<char*> ArgumentVector(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(LargePrimeBinary()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

const char* LargePrimeBinary() { return LARGEPRIME_BINARY; }

ProcessResult RunLargePrimeProcess(const std::vector<std::string>& arguments,
                                   const char* stdoutPath) {
  const std::string outPath = stdoutPath != nullptr ? stdoutPath : TempPath();
  const std::string errPath = TempPath();

  std::vector<char*> argv = ArgumentVector(arguments);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);

  ProcessResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, LargePrimeBinary(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);

  if (stdoutPath == nullptr) {
    result.out = ReadFile(outPath);
    std::remove(outPath.c_str());
  }
  result.err = ReadFile(errPath);
  std::remove(errPath.c_str());
  return result;
}

ProcessResult RunLargePrimeIntoClosedPipe(const std::vector<std::string>& arguments) {
  ProcessResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  close(fds[0]);
  const std::string errPath = TempPath();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // An ignored signal stays ignored in the new program; the test's own
  // disposition is restored at once.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved = {};
  sigaction(SIGPIPE, &ignore, &saved);
  std::vector<char*> argv = ArgumentVector(arguments);
  pid_t pid = 0;
  const bool started =
      posix_spawn(&pid, LargePrimeBinary(), &actions, nullptr, argv.data(), environ) == 0;
  sigaction(SIGPIPE, &saved, nullptr);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (started) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  }
  result.err = ReadFile(errPath);
  std::remove(errPath.c_str());
  return result;
}

PipedRun WatchLargePrimeOutput(const std::vector<std::string>& arguments, const std::string& line,
                               int timeoutSeconds) {
  PipedRun run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  std::vector<char*> argv = ArgumentVector(arguments);
  pid_t pid = 0;
  const bool started =
      posix_spawn(&pid, LargePrimeBinary(), &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (!started) {
    close(fds[0]);
    return run;
  }

  const std::string wanted = "\n" + line + "\n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (!run.lineArrived && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(fds[0], buffer, sizeof buffer);
    if (got <= 0) break;  // the program ended
    run.received.append(buffer, static_cast<size_t>(got));
    run.lineArrived = run.received.find(wanted) != std::string::npos;
  }
  int status = 0;
  run.stillRunning = waitpid(pid, &status, WNOHANG) == 0;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  close(fds[0]);
  return run;
}
