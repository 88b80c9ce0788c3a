// For tests that run a developer tool: a scratch folder of the test's own,
// and a run of the tool in which "@name" stands for a path in that folder.

#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

class ToolTest : public ::testing::Test {
 protected:
  support::Finished Run(const std::string& binary, std::vector<std::string> args) {
    for (auto& arg : args) {
      if (arg.starts_with("@")) arg = (dir_ / arg.substr(1)).string();
    }
    args.insert(args.begin(), binary);
    return support::RunToEnd(args, output_.path());
  }

  support::ScratchFolder dir_;

 private:
  support::ScratchFolder output_;  // the tool's stdout and stderr, apart from what it writes
};
