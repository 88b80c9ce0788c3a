// The output-file writer: a file is written whole or not at all, and its
// failures name the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "drawing/exception.h"
#include "imaging/output_file.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using support::ReadFile;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(scratch_ / "target") << "old"; }
  // The names in the scratch folder, so a left-over temporary file shows.
  std::string Listing() const {
    std::string names;
    for (const auto& entry : fs::directory_iterator(scratch_.path())) names += entry.path().filename().string() + " ";
    return names;
  }
  support::ScratchFolder scratch_;
};

TEST_F(OutputFileTest, ReplacesTheTargetOnlyOnCommitAndLeavesNothingElse) {
  {
    imaging::OutputFile file((scratch_ / "target").string());
    file.Write("new, but never committed");
    EXPECT_EQ(ReadFile(scratch_ / "target"), "old") << "the target changed before the commit";
  }
  EXPECT_EQ(ReadFile(scratch_ / "target"), "old");
  // Through a symbolic link, the file it names is replaced and the link stays.
  fs::create_symlink("target", scratch_ / "link");
  imaging::OutputFile file((scratch_ / "link").string());
  file.Write("new");
  file.Commit();
  EXPECT_EQ(ReadFile(scratch_ / "target"), "new");
  EXPECT_TRUE(fs::is_symlink(scratch_ / "link"));
  EXPECT_EQ(Listing().size(), std::string("target link ").size()) << Listing();
}

TEST_F(OutputFileTest, FailuresNameTheFileAndTheReason) {
  fs::create_directory(scratch_ / "folder");
  const std::string folder = (scratch_ / "folder").string();
  const std::string missing = (scratch_ / "none" / "file").string();
  for (const auto& [path, reason] : {std::pair{folder, "Is a directory"}, {missing, "No such file or directory"}}) {
    try {
      imaging::OutputFile file(path);
      file.Commit();
      ADD_FAILURE() << path << " was written";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "cannot write " + path + ": " + reason);
    }
  }
}

}  // namespace
