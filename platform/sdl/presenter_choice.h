// How finished frames reach the screen. The picture is drawn in software either way; a GPU
// renderer only pays where a real GPU scales and shows it. Where OpenGL itself would run in
// software (no GPU, or Mesa told to), it would copy our picture once more through a second software
// rasterizer at a cost of a hundred megabytes, so the window's own surface is used instead.
#pragma once

#include <string>

namespace platform {

enum class PresenterKind { kSurface, kGpu };

struct PresenterChoice {
  PresenterKind kind = PresenterKind::kSurface;
  bool forced = false;  // named by the environment; no fallback to the other
  std::string warning;  // for standard error: the variable held a value we do not know
};

// `forced` is ZENTROVA_PRESENTER ("surface" or "gpu"; null or "" when unset); `render_node`
// whether the machine has a GPU render node; `software_gl` whether Mesa is told to draw in
// software (LIBGL_ALWAYS_SOFTWARE).
PresenterChoice ChoosePresenter(const char* forced, bool render_node, bool software_gl);

// Whether an OpenGL renderer string names a software rasterizer (llvmpipe, softpipe, swrast...).
bool SoftwareGlRenderer(const std::string& gl_renderer);

}  // namespace platform
