// Running the built qelctl from a test: its exit code, stdout and stderr, and the shape of its
// error lines.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace qelctltest {

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs qelctl with args (through the program and options in prefix, if any), stdout and stderr
// captured in files of the test's temporary folder.
inline Outcome Qelctl(const std::vector<std::string>& args, std::vector<std::string> prefix = {}) {
  // Named after this test process: ctest runs several of them at once in the same folder.
  const std::string stem = ::testing::TempDir() + "qelctl_" + std::to_string(getpid());
  const std::string outPath = stem + "_out.txt";
  const std::string errPath = stem + "_err.txt";
  std::vector<std::string> words = std::move(prefix);
  words.push_back(QELCTL_PATH);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  Outcome run;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return run;
}

inline std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += (text.empty() ? "" : " ") + a;
  return text;
}

// Every refusal and failure is exactly one line on stderr, led by the program's name.
inline void ExpectOneErrorLine(const Outcome& run, const std::string& words) {
  EXPECT_THAT(run.err, ::testing::MatchesRegex("qelctl: [^\n]+\n")) << run.err;
  EXPECT_THAT(run.err, ::testing::HasSubstr(words));
}

}  // namespace qelctltest
