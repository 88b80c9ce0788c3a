// The main window in a program image without its picture: the constructor
// fails, names the missing resource and leaves nothing with its owner.

#include <gtest/gtest.h>

#include "app/main.h"
#include "tests/support/message_of.h"

TEST(MainWindowWithoutPictureTest, ConstructorFailsNamingTheResource) {
  TComponent owner(nullptr);
  EXPECT_EQ(support::MessageOf([&] { new TfMain(&owner); }), "Resource Princess not found");
  EXPECT_TRUE(owner.Components().empty());
  delete rain;
  rain = nullptr;
}
