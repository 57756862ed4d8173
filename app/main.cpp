// The host: reads the command line, then runs the toy on the SDL platform.
#include <cstdio>
#include <string>

#include "app/launch.h"
#include "app/options.h"
#include "platform/headless/headless_platform.h"
#include "platform/sdl/sdl_platform.h"

int main(int argc, char** argv) {
  LaunchOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "zentrova: %s\n%s", error.c_str(), UsageText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::fputs(VersionText().c_str(), stdout);
    return 0;
  }
  platform::SdlPlatform platform;
  if (!options.exportGltf.empty()) {
    platform::HeadlessPlatform headless;  // the construction alone: no window, no sound
    headless.SetExecutableFolder(platform.ExecutableFolder());
    return ExportGltf(headless, options);
  }
  return Launch(platform, options);
}
