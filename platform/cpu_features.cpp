#include "platform/cpu_features.h"

namespace platform {

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();  // in case this runs before the library's own start-up did it
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

}  // namespace platform
