// The command line: the toy takes no settings, only how to show itself and the usual --help and
// --version.
#pragma once

#include <string>

struct LaunchOptions {
  bool windowed = false;
  bool help = false;
  bool version = false;
};

// False with the offending argument in `error` for anything it does not know.
bool ParseOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error);

// The --help text, ending in a line break.
std::string UsageText();
// "zentrova <version>", ending in a line break.
std::string VersionText();
