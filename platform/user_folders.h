// The folders a person's files go to, by the XDG base and user directory conventions: pictures
// for what a person saves and shares, state for what the toy keeps for itself.
#pragma once

#include <functional>
#include <string>

namespace platform {

// An environment variable's value, "" when unset; the platform's, or a test's own.
using Environment = std::function<std::string(const char* name)>;

// The XDG PICTURES folder named in $XDG_CONFIG_HOME/user-dirs.dirs (~/.config by default);
// else ~/Pictures when it is a folder; else the toy's folder in the XDG data home
// ($XDG_DATA_HOME or ~/.local/share, then /zentrova). "" when not even a home is known. The
// folder may not exist yet.
std::string PicturesFolder(const Environment& env);

// $XDG_STATE_HOME/zentrova, or ~/.local/state/zentrova; "" without a home.
std::string StateFolder(const Environment& env);

}  // namespace platform
