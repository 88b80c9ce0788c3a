// The output-file writer: a file is written whole or not at all, and a link
// standing under its name is replaced as a name, never written through.  How
// its failures read is checked where the tools report them
// (tests/tools/rain_frames_test.cpp).

#include "imaging/output_file.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_folder.h"

namespace {

TEST(OutputFileTest, ReplacesALinkAsANameOnlyOnCommitAndLeavesNothingElse) {
  const support::ScratchFolder dir;
  std::ofstream(dir / "target") << "old";
  std::filesystem::create_symlink("target", dir / "link");
  for (const bool commit : {false, true}) {
    imaging::OutputFile file((dir / "link").string());
    file.Write("new");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link")) << "the link went before a commit";
    if (commit) file.Commit();
  }
  EXPECT_EQ(support::ReadFile(dir / "target"), "old");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(support::ReadFile(dir / "link"), "new");
  EXPECT_EQ(support::Listing(dir.path()), (std::set<std::string>{"link", "target"}));
}

}  // namespace
