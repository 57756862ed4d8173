#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

namespace platform {

namespace {
// Per thread, as the Win32 value it stands in for; the program has one thread.
thread_local std::string last_error;
}  // namespace

std::string Platform::Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

LocalTime Platform::LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

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
