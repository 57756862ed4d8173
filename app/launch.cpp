#include "app/launch.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/game_app.h"
#include "keep/gltf_export.h"
#include "platform/data_folder.h"
#include "platform/image/picture.h"
#include "platform/safe_file.h"
#include "play/construction_keeper.h"

namespace {

// Breaks text into lines of at most `width` characters at spaces: message boxes do not wrap, and
// a long line of folder names would run off the screen.
std::string WrapLines(const std::string& text, size_t width) {
  std::string out;
  size_t line = 0;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (line > 0 && line + 1 + word.size() > width) {
      out += '\n';
      line = 0;
    } else if (line > 0) {
      out += ' ';
      ++line;
    }
    out += word;
    line += word.size();
    at = end + 1;
  }
  return out;
}

// A desktop-menu start has no terminal: the box is what a person sees; the line is for logs.
int ReportFailure(platform::Platform& platform, const std::string& reason) {
  const std::string sentence = "Zentrova cannot start: " + reason;
  std::fprintf(stderr, "%s\n", sentence.c_str());
  const std::string text = WrapLines(sentence, 72);
  platform.ShowMessageBox(text.c_str(), "Zentrova");
  return 1;
}

bool FindAndEnterData(platform::Platform& platform, std::string* why) {
  std::error_code error;
  const std::string current = std::filesystem::current_path(error).string();
  std::string folder;
  return platform::FindDataFolder(
             platform::DataFolderCandidates(error ? "" : current, platform.ExecutableFolder()),
             &folder, why) &&
         platform::EnterDataFolder(folder, why);
}

// A path the person gave, made whole before the data folder becomes the working folder.
std::string Whole(const std::string& path) {
  std::error_code error;
  const std::filesystem::path whole = std::filesystem::absolute(path, error);
  return error ? path : whole.string();
}

}  // namespace

int Launch(platform::Platform& platform, const LaunchOptions& options) {
  if (!platform.Init()) return ReportFailure(platform, platform::LastError());
  const std::string open_file = options.openFile.empty() ? "" : Whole(options.openFile);
  std::string why;
  if (!FindAndEnterData(platform, &why)) return ReportFailure(platform, why);
  // The icon is a nicety: a window without it is still the toy.
  platform::image::Picture icon;
  if (platform::image::LoadPictureFile("data/icon.png", &icon, nullptr))
    platform.SetWindowIcon(icon.argb.data(), icon.width, icon.height);

  std::string failure;
  {
    GameApp app(&platform);
    if (app.Create(options.windowed ? kShowWindowed : kShowFullScreen)) {
      // A file that cannot be opened is said on standard error; the title shows as usual.
      std::string path = open_file, why;
      if (options.continueLast && path.empty()) path = LastConstructionPath(app);
      if (!path.empty()) OpenConstruction(app, path, &why);
      // Timed from the first frame: opening the file above is not a frame.
      if (options.frameTimes) app.RecordFrameTimes();
      const int status = app.Run();
      if (const FrameTimes* times = app.RecordedFrameTimes())
        std::fprintf(stderr, "%s\n", times->Line().c_str());
      return status;
    }
    failure = app.FailureReason();
  }
  // Out of the way first, so that a full-screen window cannot hide the box.
  platform.CloseWindow();
  return ReportFailure(platform, failure);
}

int ExportGltf(platform::Platform& platform, const LaunchOptions& options) {
  const std::string out = Whole(options.exportGltf);
  const std::string from = options.openFile.empty() ? "" : Whole(options.openFile);
  std::string why;
  auto fail = [&](const std::string& reason) {
    std::fprintf(stderr, "zentrova: cannot export %s: %s\n", out.c_str(), reason.c_str());
    return 1;
  };
  if (!platform.Init()) return fail(platform::LastError());
  if (!FindAndEnterData(platform, &why)) return fail(why);
  GameApp app(&platform);
  if (!app.Create(kShowWindowed)) return fail(app.FailureReason());
  // The starting towers, as entering the play space builds them, or the saved construction.
  if (from.empty()) {
    EnterPlaySpace(app);
  } else if (!OpenConstruction(app, from, &why)) {
    return fail(why);
  }
  std::vector<uint8_t> glb;
  std::string written;
  if (!EncodeGlb(SceneOfWorld(*app.GetWorld()), GeneratorName(), &glb, &why) ||
      !platform::WriteFileSafely(out, glb.data(), glb.size(), platform::ExistingFile::kReplace,
                                 &written, &why))
    return fail(why);
  std::fprintf(stderr, "zentrova: exported %s\n", written.c_str());
  return 0;
}
