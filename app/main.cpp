// The host: starts the platform, builds and runs the GameApp, and reports a failed start.
#include <cstdio>

#include "app/game_app.h"
#include "platform/sdl/sdl_platform.h"

int main() {
  platform::SdlPlatform platform;
  if (!platform.Init()) {
    std::fprintf(stderr, "zentrova: %s\n", platform::LastError().c_str());
    return 1;
  }
  int status = 0;
  {
    GameApp app(&platform);
    if (app.Create(5)) {
      status = app.Run();
    } else {
      std::fprintf(stderr, "zentrova: %s\n", app.FailureReason().c_str());
      status = 1;
    }
  }
  return status;
}
