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

/// The path of the built executable.
const char* LargePrimeBinary();
