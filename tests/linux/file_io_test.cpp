// The one reader and writer of the tool's files, on a real file system: what stands at a target
// decides whether it is written, what is read is bounded and never blocks, and what is made is
// private. (Root writing into a user's home is run end to end in tests/cli/cli_files_test.cpp.)
#include "device/file_io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

namespace corvane::device::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("file_io_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string At(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Everything in the folder, so a test can see that no temporary file was left behind.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

const std::vector<std::uint8_t> kNew = {'n', 'e', 'w'};

// What stands at the target: only nothing or a regular file is written; everything else is
// refused and left exactly as it was.
TEST_F(FileIoTest, OnlyAMissingTargetOrARegularFileIsWritten) {
  struct Row {
    const char* what;
    std::function<void(const std::string&)> make;  // puts something at the target
    const char* refusal;                            // empty: written
  };
  const std::string victim = At("victim");
  const Row rows[] = {
      {"nothing", [](const std::string&) {}, ""},
      {"a regular file", [](const std::string& p) { std::ofstream(p) << "old"; }, ""},
      // The temporary name an earlier writer used, planted as a link to someone else's file.
      {"a regular file and a planted FILE.new link",
       [&](const std::string& p) {
         std::ofstream(p) << "old";
         fs::create_symlink(victim, p + ".new");
       },
       ""},
      {"a folder", [](const std::string& p) { fs::create_directory(p); }, "is a folder, not a file"},
      {"a FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, "is a pipe (FIFO), not a file"},
      {"a link to a device", [](const std::string& p) { fs::create_symlink("/dev/null", p); },
       "is a symbolic link"},
      {"a link to a regular file", [&](const std::string& p) { fs::create_symlink(victim, p); },
       "is a symbolic link"},
      // A null device of its own (needs root and CAP_MKNOD; the row is left out without them).
      {"a device node", [&](const std::string& p) { mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)); },
       "is a device, not a file"},
  };
  for (const Row& row : rows) {
    SetUp();
    std::ofstream(victim) << "victim";
    const std::string target = At("target.json");
    row.make(target);
    struct stat before {};
    if (lstat(target.c_str(), &before) != 0 && row.refusal[0] != '\0') continue;
    const std::vector<std::string> entries = Entries();

    EXPECT_EQ(CheckFileTarget(target).empty(), row.refusal[0] == '\0') << row.what;
    std::string error;
    const bool written = WriteFileReplacing(target, kNew, error);
    EXPECT_EQ(Contents(victim), "victim") << row.what;
    if (row.refusal[0] == '\0') {
      EXPECT_TRUE(written) << row.what << ": " << error;
      EXPECT_EQ(Contents(target), "new") << row.what;
      struct stat after {};
      ASSERT_EQ(lstat(target.c_str(), &after), 0);
      EXPECT_TRUE(S_ISREG(after.st_mode)) << row.what;
      EXPECT_EQ(after.st_mode & 07777, 0600u) << row.what;
    } else {
      EXPECT_FALSE(written) << row.what;
      EXPECT_THAT(error, HasSubstr(target + " " + row.refusal)) << row.what;
      struct stat after {};
      lstat(target.c_str(), &after);
      EXPECT_EQ(after.st_mode, before.st_mode) << row.what;
      EXPECT_EQ(after.st_ino, before.st_ino) << row.what;
      EXPECT_EQ(Entries(), entries) << row.what << ": something was left behind";
    }
  }
}

TEST_F(FileIoTest, ANewFileNeverReplacesOneAndTheNameMadeIsReturned) {
  std::string error;
  const auto first = WriteNewFile(dir_.string(), "KTS260-x", ".cvbackup", kNew, error);
  const std::vector<std::uint8_t> other = {'o', 't', 'h', 'e', 'r'};
  const auto second = WriteNewFile(dir_.string(), "KTS260-x", ".cvbackup", other, error);
  ASSERT_TRUE(first && second) << error;
  EXPECT_EQ(*first, At("KTS260-x.cvbackup"));
  EXPECT_EQ(*second, At("KTS260-x-2.cvbackup"));
  EXPECT_EQ(Contents(*first), "new");
  EXPECT_EQ(Contents(*second), "other");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"KTS260-x-2.cvbackup", "KTS260-x.cvbackup"}));
}

// Whatever the umask, folders are 0700 and files 0600: a backup holds the NVRAM block.
TEST_F(FileIoTest, FoldersAndFilesArePrivateWhateverTheUmask) {
  const mode_t old = umask(0);
  std::string error;
  const std::string folder = At("a/b/c");
  const bool made = MakePrivateFolder(folder, error);
  const auto file = WriteNewFile(folder, "f", ".bin", kNew, error);
  umask(old);
  ASSERT_TRUE(made && file) << error;
  for (const std::string& path : {At("a"), At("a/b"), folder}) {
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all) << path;
  }
  EXPECT_EQ(fs::status(*file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(MakePrivateFolder(*file, error));
  EXPECT_THAT(error, HasSubstr("not a folder"));
}

// The reader: a bounded regular file, judged on what it opened; nothing else is read, and a FIFO
// with no writer does not hold it up.
TEST_F(FileIoTest, OnlyABoundedRegularFileIsRead) {
  const std::string big = At("big"), fifo = At("fifo"), link = At("zero-link"), good = At("good");
  std::ofstream(good) << "0123456789";
  std::ofstream(big).close();
  ASSERT_EQ(truncate(big.c_str(), 1 << 30), 0);  // sparse: 1 GiB that is never read
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", link);
  struct Row {
    std::string path;
    FileRead result;
    std::string problem;
  };
  const Row rows[] = {
      {good, FileRead::Read, ""},
      {At("missing"), FileRead::Missing, At("missing") + " does not exist"},
      {big, FileRead::Refused, big + " is larger than a test file can be (1073741824 bytes or more; at most 16 bytes)"},
      {fifo, FileRead::Refused, fifo + " is a pipe (FIFO), not a file"},
      {dir_.string(), FileRead::Refused, dir_.string() + " is a folder, not a file"},
      {"/dev/zero", FileRead::Refused, "/dev/zero is a device, not a file"},
      {link, FileRead::Refused, link + " is a device, not a file"},
  };
  for (const Row& row : rows) {
    std::vector<std::uint8_t> bytes;
    std::string problem;
    EXPECT_EQ(ReadFileBounded(row.path, {16, "a test file"}, bytes, problem), row.result) << row.path;
    EXPECT_EQ(problem, row.problem) << row.path;
    EXPECT_EQ(bytes.size(), row.result == FileRead::Read ? 10u : 0u) << row.path;
  }
}

}  // namespace
}  // namespace corvane::device::testing
