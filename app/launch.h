// The start of a run: finds the data, opens the window, runs the loop, and makes sure a person sees
// why a start failed.
#pragma once

#include "app/options.h"
#include "platform/platform.h"

// Runs the toy on the platform; returns the process's exit status (0 after a normal quit).
int Launch(platform::Platform& platform, const LaunchOptions& options);
// `--export-gltf OUT [FILE]`: the starting towers, or the construction saved in FILE, written to
// OUT as a glTF binary, without a window (on a platform that opens none). 0 when written, 1 with
// the reason on standard error otherwise.
int ExportGltf(platform::Platform& platform, const LaunchOptions& options);
