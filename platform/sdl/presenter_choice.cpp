#include "platform/sdl/presenter_choice.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {

PresenterChoice ChoosePresenter(const char* forced, bool render_node, bool software_gl) {
  PresenterChoice choice;
  if (forced && *forced) {
    if (std::strcmp(forced, "surface") == 0 || std::strcmp(forced, "gpu") == 0) {
      choice.kind = forced[0] == 's' ? PresenterKind::kSurface : PresenterKind::kGpu;
      choice.forced = true;
      return choice;
    }
    choice.warning = std::string("ZENTROVA_PRESENTER=") + forced +
                     " is neither 'surface' nor 'gpu'; choosing by the machine";
  }
  choice.kind = render_node && !software_gl ? PresenterKind::kGpu : PresenterKind::kSurface;
  return choice;
}

bool SoftwareGlRenderer(const std::string& gl_renderer) {
  std::string name = gl_renderer;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  for (const char* software :
       {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader"})
    if (name.find(software) != std::string::npos) return true;
  return false;
}

}  // namespace platform
