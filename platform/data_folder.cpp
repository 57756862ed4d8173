#include "platform/data_folder.h"

#include <filesystem>
#include <system_error>

#ifndef ZENTROVA_DATA_FROM_BIN
#define ZENTROVA_DATA_FROM_BIN "../share/zentrova/data"
#endif

namespace platform {

namespace fs = std::filesystem;

namespace {

// A folder is taken for ours only when it holds this picture: a data/ folder of some other program
// in the user's current folder must not stop the search.
constexpr const char* kMarker = "title.bmp";

// What stands at path in place of a regular file, in a few words.
std::string KindOf(fs::file_type type) {
  switch (type) {
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::fifo:
      return "a FIFO (named pipe)";
    case fs::file_type::socket:
      return "a socket";
    case fs::file_type::block:
    case fs::file_type::character:
      return "a device";
    default:
      return "not a regular file";
  }
}

// Why folder is not the program's data folder; "" when it is. The operating system's own reason
// wherever it gave one: a folder that cannot be looked into must not read as an empty one.
std::string Unsuitable(const fs::path& folder) {
  std::error_code error;
  fs::file_status status = fs::status(folder, error);
  if (error) return error.message();
  if (!fs::is_directory(status)) return "not a folder";
  const fs::path marker = folder / kMarker;
  const fs::file_status found = fs::status(marker, error);
  if (error && error != std::errc::no_such_file_or_directory)
    return std::string("cannot look for ") + kMarker + " in it: " + error.message();
  if (error) {
    std::error_code link_error;
    if (fs::is_symlink(fs::symlink_status(marker, link_error)))
      return std::string(kMarker) + " in it is a link to nothing (" + error.message() + ")";
    return std::string("no ") + kMarker + " in it";
  }
  if (!fs::is_regular_file(found))
    return std::string(kMarker) + " in it is " + KindOf(found.type());
  return "";
}

}  // namespace

std::vector<std::string> DataFolderCandidates(const std::string& current_folder,
                                              const std::string& executable_folder) {
  std::vector<std::string> out;
  if (!current_folder.empty()) out.push_back((fs::path(current_folder) / "data").string());
  if (!executable_folder.empty()) {
    const fs::path exe = fs::path(executable_folder);
    out.push_back((exe / "data").lexically_normal().string());
    // Where an installation puts it, relative to the installed program.
    out.push_back((exe / ZENTROVA_DATA_FROM_BIN).lexically_normal().string());
  }
  return out;
}

bool FindDataFolder(const std::vector<std::string>& candidates, std::string* found,
                    std::string* failure) {
  std::string tried;
  for (const std::string& candidate : candidates) {
    const std::string why = Unsuitable(candidate);
    if (why.empty()) {
      *found = candidate;
      return true;
    }
    tried += (tried.empty() ? "" : "; ") + candidate + " (" + why + ")";
  }
  *failure = "its pictures and sounds are in none of the folders it looks in: " +
             (tried.empty() ? std::string("no folder") : tried);
  return false;
}

bool EnterDataFolder(const std::string& data_folder, std::string* why) {
  std::error_code error;
  fs::path parent = fs::absolute(fs::path(data_folder), error).parent_path();
  if (!error) fs::current_path(parent, error);
  if (error) {
    *why = "cannot enter " + parent.string() + ": " + error.message();
    return false;
  }
  return true;
}

}  // namespace platform
