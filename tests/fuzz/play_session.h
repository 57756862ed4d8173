// A construction file opened in the play space of a headless toy, as a dropped file is, and
// played for a short scripted while: a hand drag, the hand's lift under a tower, a grab handle
// and a second one that copies its block, a pen stroke, a tool choice with a turn, undo, redo,
// the toy's own save read back and opened again, ten frames of the door. After every frame each
// corner must be finite; after every step what the toy would save must read back. One toy
// serves every file: it is brought back to the same start before each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class TestApp;

namespace fuzz {

struct PlayResult {
  bool accepted = false;  // the reader took the file
  std::string failure;    // the first check that broke, "" when every one held
  bool lifted = false;    // the hand lifted a tower it slid under
  bool copied = false;    // a second grab handle copied its block
  uint64_t digest = 0;    // the construction at the end, as one number
};

class PlaySession {
 public:
  // The toy finds its data/ folder in `program_folder` ("": the current folder), which is the
  // current folder again once it has started.
  explicit PlaySession(const std::string& program_folder = "");
  ~PlaySession();
  bool ready() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }

  PlayResult Play(const uint8_t* data, size_t size);

 private:
  void Start();
  void Step(const char* name);
  void CheckCorners(const char* when);
  void HandDrag();
  void LiftUnderTower();
  void HandleAndCopy();
  void PenStroke();
  void ToolChoice();
  void History();
  void SaveAndReopen();
  void Door();

  std::unique_ptr<TestApp> t_;
  std::filesystem::path folder_;  // the dropped file and the saves
  uint32_t seed_ = 0;             // the generator's state when the toy was made
  std::string failure_;
  PlayResult* result_ = nullptr;
};

}  // namespace fuzz
