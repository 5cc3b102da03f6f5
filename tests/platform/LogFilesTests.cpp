// The file functions of the platform layer that the log writer stands on.
#include <gtest/gtest.h>

#include "log/LogTestSupport.h"

namespace {

using namespace logtest;

class PlatformFilesTest : public TempFolderTest {};

TEST_F(PlatformFilesTest, ForceDirectoriesCreatesTheChainOrReportsFailure) {
  const std::string deep = Join(Join(Path("a"), "b"), "c");
  EXPECT_TRUE(platform::ForceDirectories(deep));
  EXPECT_TRUE(fs::is_directory(AsPath(deep)));
  EXPECT_TRUE(platform::ForceDirectories(deep + platform::kPathDelim)) << "existing, trailing separator";

  WriteBytes(Path("file"), "x");
  EXPECT_FALSE(platform::ForceDirectories(Join(Path("file"), "sub")));
  EXPECT_FALSE(platform::ForceDirectories(Path("file")));
  EXPECT_FALSE(platform::ForceDirectories(""));
}

TEST_F(PlatformFilesTest, ExistenceAndSizeFromAttributes) {
  const std::string file = Path("f.log");
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_EQ(platform::FileSizeOf(file), -1);
  WriteBytes(file, "12345");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_EQ(platform::FileSizeOf(file), 5);
  EXPECT_FALSE(platform::FileExists(Folder())) << "a folder is no file";

  // Sizes past 4 GiB keep their upper half (sparse, so nothing is written).
  fs::resize_file(AsPath(file), (uintmax_t{1} << 32) + 7);
  EXPECT_EQ(platform::FileSizeOf(file), (int64_t{1} << 32) + 7);
}

TEST_F(PlatformFilesTest, MoveNeverReplacesAnExistingFile) {
  WriteBytes(Path("from"), "new");
  WriteBytes(Path("to"), "old");
  EXPECT_FALSE(platform::MoveFileTo(Path("from"), Path("to")));
  EXPECT_EQ(ReadAll(Path("to")), "old");
  EXPECT_EQ(ReadAll(Path("from")), "new");

  EXPECT_TRUE(platform::MoveFileTo(Path("from"), Path("moved")));
  EXPECT_EQ(ReadAll(Path("moved")), "new");
  EXPECT_FALSE(platform::FileExists(Path("from")));
  EXPECT_FALSE(platform::MoveFileTo(Path("from"), Path("again"))) << "source is gone";
}

TEST_F(PlatformFilesTest, AppendCreatesThenAppends) {
  const std::string file = Path("a.log");
  EXPECT_TRUE(platform::AppendToFileShared(file, "one\r\n"));
  EXPECT_TRUE(platform::AppendToFileShared(file, "two\r\n"));
  EXPECT_EQ(ReadAll(file), "one\r\ntwo\r\n");
  EXPECT_FALSE(platform::AppendToFileShared(Join(Path("missing"), "a.log"), "x"));
  EXPECT_FALSE(platform::AppendToFileShared(Folder(), "x")) << "a folder cannot be appended to";
}

TEST_F(PlatformFilesTest, HeldFileCanBeReadButNotWrittenByAnotherWriter) {
  const std::string file = Path("held.log");
  platform::SharedAppendFile holder;
  ASSERT_TRUE(holder.Open(file));
  ASSERT_TRUE(holder.Append("mine\r\n"));

  platform::SharedAppendFile second;
  EXPECT_FALSE(second.Open(file));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_FALSE(second.Append("x")) << "append without an open file";
  EXPECT_FALSE(platform::AppendToFileShared(file, "theirs\r\n"));
  EXPECT_EQ(ReadAll(file), "mine\r\n") << "readers are let in";

  holder.Close();
  EXPECT_TRUE(platform::AppendToFileShared(file, "theirs\r\n"));
  EXPECT_EQ(ReadAll(file), "mine\r\ntheirs\r\n");
}

TEST(PlatformPathsTest, DelimitersAbsolutePathsAndInvalidCharacters) {
  const bool windows = platform::kPathDelim == '\\';
  EXPECT_TRUE(platform::IsPathDelimiter(platform::kPathDelim));
  EXPECT_FALSE(platform::IsPathDelimiter('.'));
  EXPECT_EQ(platform::IsPathDelimiter('\\'), windows);

  EXPECT_TRUE(platform::IsAbsolutePath(std::string(1, platform::kPathDelim) + "logs"));
  EXPECT_FALSE(platform::IsAbsolutePath("logs"));
  EXPECT_FALSE(platform::IsAbsolutePath(""));
  EXPECT_EQ(platform::IsAbsolutePath("C:\\logs"), windows);

  EXPECT_FALSE(platform::HasInvalidPathChars("dev_20250131.log"));
  EXPECT_TRUE(platform::HasInvalidPathChars(std::string("a\0b", 3)));
  EXPECT_EQ(platform::HasInvalidPathChars("a|b"), windows);
  EXPECT_EQ(platform::HasInvalidPathChars("a\x01" "b"), windows);
}

}  // namespace
