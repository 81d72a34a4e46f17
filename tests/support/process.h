/// Runs the built largeprime executable as a separate process.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

/// Runs the program with these arguments (not including the program name, which
/// is the executable's path) and collects its output and exit status. When
/// stdoutPath is given, standard output goes to that file instead.
ProcessResult RunLargePrimeProcess(const std::vector<std::string>& arguments,
                                   const char* stdoutPath = nullptr);

/// Runs the program with standard output on a pipe whose reading end is already
/// closed and with SIGPIPE ignored, as under many process supervisors: every
/// write to standard output fails. Collects standard error and the exit status.
ProcessResult RunLargePrimeIntoClosedPipe(const std::vector<std::string>& arguments);

struct PipedRun {
  bool lineArrived = false;   // the awaited line was read in time
  bool stillRunning = false;  // the program had not ended when it arrived
  std::string received;       // everything read up to that point
};

/// Starts the program with standard output on a pipe and reads until a whole line
/// equal to `line` has arrived or `timeoutSeconds` have passed; then stops the
/// program.
PipedRun WatchLargePrimeOutput(const std::vector<std::string>& arguments, const std::string& line,
                               int timeoutSeconds);

/// The path of the built executable.
const char* LargePrimeBinary();
