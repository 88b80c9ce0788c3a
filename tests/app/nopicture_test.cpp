// The main window in a program image without its picture: the constructor
// fails, names the missing resource and leaves nothing with its owner.

#include <gtest/gtest.h>

#include "app/main.h"

TEST(MainWindowWithoutPictureTest, ConstructorFailsNamingTheResource) {
  TComponent owner(nullptr);
  try {
    new TfMain(&owner);
    ADD_FAILURE() << "the window was built without its picture";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Resource Princess not found");
  }
  EXPECT_TRUE(owner.Components().empty());
  delete rain;
  rain = nullptr;
}
