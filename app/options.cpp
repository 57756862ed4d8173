#include "app/options.h"

#include <cstring>

#ifndef ZENTROVA_VERSION
#define ZENTROVA_VERSION "unknown"
#endif

bool ParseOptions(int argc, const char* const* argv, LaunchOptions* out, std::string* error) {
  *out = LaunchOptions();
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--window") == 0) {
      out->windowed = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      out->help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      out->version = true;
    } else if (std::strcmp(arg, "--continue") == 0) {
      out->continueLast = true;
    } else if (std::strcmp(arg, "--frame-times") == 0) {
      out->frameTimes = true;
    } else if (std::strcmp(arg, "--export-gltf") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        *error = "--export-gltf needs the file to write";
        return false;
      }
      out->exportGltf = argv[++i];
    } else if (arg[0] != '\0' && arg[0] != '-' && out->openFile.empty()) {
      out->openFile = arg;
    } else {
      *error = std::string("unknown option '") + arg + "'";
      return false;
    }
  }
  return true;
}

std::string UsageText() {
  return "usage: zentrova [--window] [--continue] [--frame-times] [--help] [--version] [FILE]\n"
         "       zentrova --export-gltf OUT.glb [FILE]\n"
         "A mouse-only 3D block-building toy.\n"
         "\n"
         "  --window   open in a window instead of full screen\n"
         "  --continue open the construction kept when the play space was last closed\n"
         "  FILE       open a construction saved as a picture (Ctrl+S in the play space)\n"
         "  --frame-times\n"
         "             on quit, print the number of frames drawn and the median, 95th percentile\n"
         "             and longest time a frame took, on standard error\n"
         "  --export-gltf OUT.glb\n"
         "             write FILE's construction (or the starting towers) as a glTF file for\n"
         "             other 3D programs, without opening a window (Ctrl+E in the play space)\n"
         "  --help     show this text and exit\n"
         "  --version  show the version and exit\n"
         "\n"
         "Alt+Enter switches between full screen and a window at any time.\n"
         "Quit with the END button on the title screen, or Alt+F4.\n"
         "Pictures and sounds are read from data/ in the current folder, else from the data/\n"
         "folder beside the program, else from ../share/zentrova/data beside it (installed).\n";
}

std::string GeneratorName() {
  return std::string("Zentrova ") + ZENTROVA_VERSION;
}

std::string VersionText() {
  return std::string("zentrova ") + ZENTROVA_VERSION + "\n";
}
