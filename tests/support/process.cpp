/// Runs the built executable with posix_spawn and collects its output.
#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace

const char* LargePrimeBinary() { return LARGEPRIME_BINARY; }

ProcessResult RunLargePrimeProcess(const std::vector<std::string>& arguments,
                                   const char* stdoutPath) {
  const std::string outPath = stdoutPath != nullptr ? stdoutPath : TempPath();
  const std::string errPath = TempPath();

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(LargePrimeBinary()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

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
