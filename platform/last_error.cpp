#include <string>
#include <utility>

#include "platform/platform.h"

namespace platform {

namespace {
// Per thread, as the Win32 value it stands in for; the program has one thread.
thread_local std::string last_error;
}  // namespace

void SetLastError(std::string reason) {
  last_error = std::move(reason);
}
const std::string& LastError() {
  return last_error;
}

}  // namespace platform
