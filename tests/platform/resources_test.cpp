// The resource table: lookup by type and name ignoring case, the error that
// names a missing resource, and bitmaps loaded from it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "canvas.h"
#include "exception.h"
#include "imagefile.h"
#include "pixel_check.h"
#include "resources.h"

namespace {

const unsigned char kDescription[] = "{}";
const unsigned char kOther[] = "other";

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(nothing thrown)";
}

// A 3 x 2 bitmap with a different colour in every pixel, so a flipped or
// swapped image cannot pass.
void DrawPattern(TBitmap& b) {
  b.SetSize(3, 2);
  const TColor colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0xABCDEF, 0x808000};
  for (int i = 0; i < 6; ++i) b.SetPixel(i % 3, i / 3, colors[i]);
}

std::vector<unsigned char> PatternBmp() {
  TBitmap pattern;
  DrawPattern(pattern);
  const auto path = std::filesystem::temp_directory_path() / ("rain-resources-test-" + std::to_string(getpid()) + ".bmp");
  SaveBmp24File(pattern, path.string());
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::filesystem::remove(path);
  return bytes;
}

class ResourceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bmp_ = PatternBmp();
    const ResourceEntry entries[] = {
        {ResourceType::RCData, "TFMAIN", kDescription, sizeof kDescription - 1},
        {ResourceType::Bitmap, "PRINCESS", bmp_.data(), bmp_.size()},
        {ResourceType::RCData, "OTHER", kOther, sizeof kOther - 1},
    };
    table_.Add(entries);
  }

  std::vector<unsigned char> bmp_;
  ResourceTable table_;
};

TEST_F(ResourceTableTest, NamesMatchIgnoringCase) {
  for (const char* name : {"TFMAIN", "TfMain", "tfmain"}) {
    const auto bytes = table_.Find(ResourceType::RCData, name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "{}") << name;
  }
  EXPECT_EQ(table_.Find(ResourceType::RCData, "Other").size(), 5u);
}

TEST_F(ResourceTableTest, TypeIsPartOfTheKey) {
  EXPECT_TRUE(table_.Contains(ResourceType::Bitmap, "Princess"));
  EXPECT_FALSE(table_.Contains(ResourceType::RCData, "Princess"));
  EXPECT_FALSE(table_.Contains(ResourceType::Bitmap, "TfMain"));
}

TEST_F(ResourceTableTest, MissingResourceIsNamedAsAskedFor) {
  EXPECT_EQ(MessageOf([&] { table_.Find(ResourceType::Bitmap, "Prince"); }), "Resource Prince not found");
  EXPECT_EQ(MessageOf([&] { table_.Find(ResourceType::Icon, "MainIcon"); }), "Resource MainIcon not found");
  // A name that only starts like an existing one is a different name.
  EXPECT_FALSE(table_.Contains(ResourceType::Bitmap, "PRINCESSES"));
}

TEST_F(ResourceTableTest, LoadFromResourceNameReplacesSizeAndPixels) {
  TBitmap expected;
  DrawPattern(expected);
  TBitmap bitmap;
  bitmap.SetSize(10, 10);
  LoadFromResourceName(&bitmap, &table_, "Princess");
  ASSERT_EQ(bitmap.width(), 3);
  ASSERT_EQ(bitmap.height(), 2);
  EXPECT_EQ(Snapshot(bitmap), Snapshot(expected));
}

TEST_F(ResourceTableTest, LoadFromAMissingResourceLeavesTheBitmapAlone) {
  TBitmap bitmap;
  DrawPattern(bitmap);
  const auto before = Snapshot(bitmap);
  EXPECT_EQ(MessageOf([&] { LoadFromResourceName(&bitmap, &table_, "Picture"); }), "Resource Picture not found");
  EXPECT_EQ(Snapshot(bitmap), before);
}

TEST_F(ResourceTableTest, DataThatIsNotABitmapResourceIsRefused) {
  // Only Bitmap resources are loaded as bitmaps: "OTHER" is data.
  TBitmap bitmap;
  EXPECT_EQ(MessageOf([&] { LoadFromResourceName(&bitmap, &table_, "Other"); }), "Resource Other not found");
}

}  // namespace
