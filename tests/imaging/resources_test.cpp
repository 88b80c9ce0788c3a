// The resource table: lookup by type and name ignoring case, the error that
// names a missing resource, and bitmaps loaded from it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "imaging/bmp.h"
#include "imaging/resources.h"
#include "tests/support/message_of.h"
#include "tests/support/pixel_check.h"

namespace {

using imaging::ResourceEntry;
using imaging::ResourceTable;
using imaging::ResourceType;
using support::MessageOf;
using support::Snapshot;

const unsigned char kDescription[] = "{}";
const unsigned char kOther[] = "other";

// A 3 x 2 bitmap with a different colour in every pixel, so a flipped or
// swapped image cannot pass.
void DrawPattern(TBitmap& b) {
  const TColor colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0xABCDEF, 0x808000};
  b.SetSize(3, 2);
  for (int i = 0; i < 6; ++i) b.SetPixel(i % 3, i / 3, colors[i]);
}

class ResourceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TBitmap pattern;
    DrawPattern(pattern);
    bmp_ = imaging::EncodeBmp24(pattern);
    const ResourceEntry entries[] = {
        {ResourceType::RCData, "TFMAIN", kDescription, sizeof kDescription - 1},
        {ResourceType::Bitmap, "PRINCESS", reinterpret_cast<const unsigned char*>(bmp_.data()), bmp_.size()},
        {ResourceType::RCData, "OTHER", kOther, sizeof kOther - 1},
    };
    table_.Add(entries);
  }

  std::vector<std::byte> bmp_;
  ResourceTable table_;
};

TEST_F(ResourceTableTest, NamesMatchIgnoringCaseWithinTheirType) {
  for (const char* name : {"TFMAIN", "TfMain", "tfmain"}) {
    const auto bytes = table_.Find(ResourceType::RCData, name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "{}") << name;
  }
  EXPECT_EQ(table_.Find(ResourceType::RCData, "Other").size(), 5u);
  EXPECT_TRUE(table_.Contains(ResourceType::Bitmap, "Princess"));
  EXPECT_FALSE(table_.Contains(ResourceType::RCData, "Princess"));
  EXPECT_FALSE(table_.Contains(ResourceType::Bitmap, "PRINCESSES")) << "a longer name is another name";
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

TEST_F(ResourceTableTest, MissingResourceIsNamedAsAskedForAndLeavesTheBitmapAlone) {
  EXPECT_EQ(MessageOf([&] { table_.Find(ResourceType::Icon, "MainIcon"); }), "Resource MainIcon not found");
  TBitmap bitmap;
  DrawPattern(bitmap);
  const auto before = Snapshot(bitmap);
  EXPECT_EQ(MessageOf([&] { LoadFromResourceName(&bitmap, &table_, "Picture"); }), "Resource Picture not found");
  // Only Bitmap resources are loaded as bitmaps: "OTHER" is data.
  EXPECT_EQ(MessageOf([&] { LoadFromResourceName(&bitmap, &table_, "Other"); }), "Resource Other not found");
  EXPECT_EQ(Snapshot(bitmap), before);
}

}  // namespace
