#include "platform/platform.h"

#include <algorithm>
#include <string>
#include <utility>

namespace platform {

namespace {
// Per thread, as the Win32 value it stands in for; the program has one thread.
thread_local std::string last_error;
}  // namespace

Point ClampToClient(Point p, int width, int height) {
  if (width <= 0 || height <= 0) return p;
  return {std::clamp(p.x, 0, width - 1), std::clamp(p.y, 0, height - 1)};
}

void SetLastError(std::string reason) {
  last_error = std::move(reason);
}
const std::string& LastError() {
  return last_error;
}

}  // namespace platform
