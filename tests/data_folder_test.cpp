// The data folder search as a person meets it when it fails: every folder passed over is named
// with what stands where the title picture should be, or the system's reason.
#include "platform/data_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kLookedIn = "its pictures and sounds are in none of the folders it looks in: ";

// A FIFO, a folder and a link to nothing where title.bmp should be; and a folder that cannot be
// looked into (not testable as root, who may look into any folder).
TEST(DataFolder, SaysWhatStandsWhereTheTitlePictureShouldBe) {
  const fs::path root = fs::temp_directory_path() / ("zentrova-data-" + std::to_string(getpid()));
  const fs::path fifo = root / "fifo", folder = root / "folder", dangling = root / "link",
                 closed = root / "closed";
  for (const fs::path& p : {fifo, folder, dangling, closed}) fs::create_directories(p);
  ASSERT_EQ(mkfifo((fifo / "title.bmp").c_str(), 0600), 0);
  fs::create_directories(folder / "title.bmp");
  fs::create_symlink(root / "nowhere.bmp", dangling / "title.bmp");
  std::string found, failure;
  EXPECT_FALSE(platform::FindDataFolder({fifo, folder, dangling}, &found, &failure));
  EXPECT_EQ(failure, kLookedIn + fifo.string() + " (title.bmp in it is a FIFO (named pipe)); " +
                         folder.string() + " (title.bmp in it is a folder); " + dangling.string() +
                         " (title.bmp in it is a link to nothing (No such file or directory))");
  if (geteuid() != 0) {
    fs::permissions(closed, fs::perms::none);
    EXPECT_FALSE(platform::FindDataFolder({closed}, &found, &failure));
    fs::permissions(closed, fs::perms::owner_all);
    EXPECT_EQ(failure, kLookedIn + closed.string() +
                           " (cannot look for title.bmp in it: Permission denied)");
  }
  fs::remove_all(root);
}

}  // namespace
