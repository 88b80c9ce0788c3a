// The main window in a program image without its picture: the constructor
// fails and names the missing resource.

#include <gtest/gtest.h>

#include "main.h"

namespace {

TEST(MainWindowWithoutPictureTest, ConstructorFailsNamingTheResource) {
  TComponent owner(nullptr);
  try {
    new TfMain(&owner);
    FAIL() << "the window was built without its picture";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Resource Princess not found");
  }
  // The window was never completed, so nothing of it stays with its owner.
  EXPECT_TRUE(owner.Components().empty());
  delete rain;
  rain = nullptr;
}

}  // namespace
