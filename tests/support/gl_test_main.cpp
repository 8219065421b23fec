// main() for test programs that draw: one OpenGL context, current for every test.
#include <gtest/gtest.h>

#include "GlTestContext.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new GlTestEnvironment);
  return RUN_ALL_TESTS();
}
