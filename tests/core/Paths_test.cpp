#include <gtest/gtest.h>

#include <filesystem>

#include "Paths.h"
#include "TestFiles.h"

namespace {

TEST(CommandLineProjectPath, RelativeAbsoluteAndBackslashed) {
  EXPECT_EQ(CommandLineProjectPath("demo.kx", "/work"), "/work/demo.kx");
  EXPECT_EQ(CommandLineProjectPath("demo.kx", "/"), "/demo.kx");
  EXPECT_EQ(CommandLineProjectPath("sub\\demo.kx", "/work"), "/work/sub/demo.kx");
  EXPECT_EQ(CommandLineProjectPath("/abs/demo.kx", "/work"), "/abs/demo.kx");
  EXPECT_EQ(CommandLineProjectPath("C:\\work\\demo.kx", "/work"), "C:/work/demo.kx");  // kept, will not be found
}

TEST(LeadingNumbers, AsAtofAndAtolReadThem) {
  EXPECT_EQ(LeadingNumber("  7.25s"), 7.25);
  EXPECT_EQ(LeadingNumber("abc"), 0.0);
  EXPECT_EQ(LeadingNumber(""), 0.0);
  EXPECT_EQ(LeadingNumber("1e3"), 1000.0);
  for (const char* undefined : {"nan", "inf", "1e999", "0x10"}) EXPECT_EQ(LeadingNumber(undefined), 0.0) << undefined;
  EXPECT_EQ(LeadingInteger(" 320px"), 320);
  EXPECT_EQ(LeadingInteger("12.9"), 12);
  EXPECT_EQ(LeadingInteger("12e3"), 12);
  EXPECT_EQ(LeadingInteger("-5"), -5);
  EXPECT_EQ(LeadingInteger("abc"), 0);
  EXPECT_EQ(LeadingInteger("99999999999999999999"), 2147483647L);
  EXPECT_EQ(LeadingInteger("-99999999999999999999"), -2147483647L - 1);
}

// A build tree has the data beside the program; an installed tree in ../share/tunnelvista.
TEST(DataFilePath, BesideTheProgramElseInTheShareFolder) {
  TempDir tree;
  const std::string bin = tree.File("bin");
  std::filesystem::create_directories(bin);
  const std::string installed = "../share/tunnelvista";
  EXPECT_EQ(DataFilePath(bin, "kx.jar", installed), bin + "/kx.jar");  // neither: beside, as always

  std::filesystem::create_directories(tree.File("share/tunnelvista/web/player"));
  EXPECT_EQ(DataFilePath(bin, "web/player", installed), tree.File("share/tunnelvista/web/player"));
  EXPECT_EQ(DataFilePath(bin + "/", "kx.jar", installed), tree.File("share/tunnelvista/kx.jar"));

  WriteFileBytes(bin + "/kx.jar", "beside");
  EXPECT_EQ(DataFilePath(bin, "kx.jar", installed), bin + "/kx.jar");
  EXPECT_EQ(DataFilePath(bin, "web/player", installed), tree.File("share/tunnelvista/web/player"));
}

}  // namespace
