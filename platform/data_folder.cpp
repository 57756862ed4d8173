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

// Why folder is not the program's data folder; "" when it is.
std::string Unsuitable(const fs::path& folder) {
  std::error_code error;
  fs::file_status status = fs::status(folder, error);
  if (error) return error.message();
  if (!fs::is_directory(status)) return "not a folder";
  fs::file_status marker = fs::status(folder / kMarker, error);
  if (error || !fs::is_regular_file(marker)) return std::string("no ") + kMarker + " in it";
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
