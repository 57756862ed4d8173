// The command line: the toy takes no settings, only how to show itself and the usual --help and
// --version.
#pragma once

#include <string>

struct LaunchOptions {
  bool windowed = false;
  bool help = false;
  bool version = false;
  // A saved construction to open at start (`zentrova FILE`), or the one kept at the last quit.
  std::string openFile;
  bool continueLast = false;
  // --export-gltf OUT: write the construction (FILE's, or the starting towers) to OUT and quit.
  std::string exportGltf;
  // --frame-times: on quit, how many frames were drawn and how long they took, on standard error.
  bool frameTimes = false;
};

// False with the offending argument in `error` for anything it does not know.
bool ParseOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error);

// The --help text, ending in a line break.
std::string UsageText();
// "zentrova <version>", ending in a line break.
std::string VersionText();
// "Zentrova <version>": how files the toy writes name their maker.
std::string GeneratorName();
