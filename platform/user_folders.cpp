#include "platform/user_folders.h"

#include <sys/stat.h>

#include <fstream>

namespace platform {

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// An XDG base variable holds an absolute path; anything else is ignored, as the convention says.
std::string BaseFolder(const Environment& env, const char* name, const char* under_home) {
  const std::string value = env(name);
  if (!value.empty() && value[0] == '/') return value;
  const std::string home = env("HOME");
  if (home.empty() || home[0] != '/') return "";
  return home + under_home;
}

// The value of XDG_PICTURES_DIR in a user-dirs.dirs file: a line XDG_PICTURES_DIR="$HOME/..." or
// XDG_PICTURES_DIR="/...". "" when absent, malformed, or set to the home itself (which means
// the folder is switched off).
std::string PicturesEntry(const std::string& file, const std::string& home) {
  std::ifstream in(file);
  std::string line, found;
  const std::string key = "XDG_PICTURES_DIR=\"";
  while (std::getline(in, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    const size_t open = start + key.size();
    const size_t close = line.find('"', open);
    if (close == std::string::npos) continue;
    std::string value = line.substr(open, close - open);
    if (value.rfind("$HOME", 0) == 0) {
      if (home.empty()) continue;
      value = home + value.substr(5);
    }
    if (value.empty() || value[0] != '/') continue;
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    std::string bare_home = home;
    while (bare_home.size() > 1 && bare_home.back() == '/') bare_home.pop_back();
    found = value == bare_home ? "" : value;  // the last entry counts
  }
  return found;
}

}  // namespace

std::string PicturesFolder(const Environment& env) {
  const std::string home = env("HOME");
  const std::string config = BaseFolder(env, "XDG_CONFIG_HOME", "/.config");
  if (!config.empty()) {
    const std::string named = PicturesEntry(config + "/user-dirs.dirs", home);
    if (!named.empty()) return named;
  }
  if (!home.empty() && home[0] == '/' && IsFolder(home + "/Pictures")) return home + "/Pictures";
  const std::string data = BaseFolder(env, "XDG_DATA_HOME", "/.local/share");
  return data.empty() ? "" : data + "/zentrova";
}

std::string StateFolder(const Environment& env) {
  const std::string state = BaseFolder(env, "XDG_STATE_HOME", "/.local/state");
  return state.empty() ? "" : state + "/zentrova";
}

}  // namespace platform
