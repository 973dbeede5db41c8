// Runs the `pelmo` command under test as a child process, through the shell.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace pelmo::testing {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the command with the arguments (shell words), `input` on its standard input and
// `environment` ("NAME=VALUE ...", or env's "-u NAME") given to env, after the shell words of
// `shell_prefix`.
inline CliRun run_cli(const std::string& arguments, const std::string& input = {},
                      const std::string& environment = {}, const std::string& shell_prefix = {}) {
  // Test processes run side by side: each call gets files of its own.
  static int calls = 0;
  const std::string base = ::testing::TempDir() + "pelmo_cli_" + std::to_string(getpid()) + "_" +
                           std::to_string(++calls);
  const std::string err_path = base + "_stderr.txt", in_path = base + "_stdin.txt";
  std::ofstream(in_path, std::ios::binary) << input;
  const std::string command = shell_prefix + "env " + environment + " " +
                              std::string(PELMO_CLI_PATH) + " " + arguments + " <" + in_path +
                              " 2>" + err_path;
  CliRun run{};
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  std::ifstream err(err_path);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove(err_path.c_str());
  std::remove(in_path.c_str());
  return run;
}

}  // namespace pelmo::testing
