#include "play_session.h"

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <system_error>
#include <vector>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "platform/user_folders.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

constexpr int kHand = 0, kRotate = 1, kDoor = 3, kRedPen = 4;

bool Finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Where a physics-space point shows, when it shows anywhere a pointer can be: false for points
// far off the screen, behind the eye or not finite.
bool ScreenOf(TestApp& t, const Vec3& p, platform::Point* out) {
  const BlockSet& set = t.world().blockSet;
  const ScreenPoint s = ProjectToScreen(p, set.ScreenMatrix(t.app().Graphics().Device()));
  if (!(std::abs(s.x) < 4000.0f && std::abs(s.y) < 4000.0f)) return false;
  *out = {int(s.x), int(s.y)};
  return true;
}
// Away from the palette and the screen's edges.
bool InPlayArea(const platform::Point& p) {
  return p.x >= 90 && p.x < 630 && p.y >= 10 && p.y < 470;
}

// Just inside the top face (corners 4 to 7), where a press takes the block itself.
Vec3 TopOf(const Block& b) {
  Vec3 top{0.0f, 0.0f, 0.0f};
  for (int k = 4; k < 8; ++k)
    top = {top.x + b.corners[k].x, top.y + b.corners[k].y, top.z + b.corners[k].z};
  top = {top.x / 4, top.y / 4, top.z / 4};
  return {b.centre.x + (top.x - b.centre.x) * 0.9f, b.centre.y + (top.y - b.centre.y) * 0.9f,
          b.centre.z + (top.z - b.centre.z) * 0.9f};
}

float Lowest(const Block& b) {
  float z = b.corners[0].z;
  for (const Vec3& c : b.corners) z = std::min(z, c.z);
  return z;
}

// The toy's own save of what it holds now (a one-pixel picture: only the chunk is read back).
bool SaveReadsBack(TestApp& t, std::string* why) {
  t.world().blockSet.FinishPickRefresh();  // the snapshot reads what the refresh writes
  const uint32_t pixel = 0;
  std::vector<uint8_t> png;
  Snapshot read;
  return MakeConstructionPng(TakeSnapshot(t.world(), t.play()), &pixel, 1, 1, &png, why) &&
         ReadConstructionPng(png.data(), png.size(), &read, why);
}

}  // namespace

PlaySession::PlaySession(const std::string& program_folder) {
  std::error_code error;
  folder_ = fs::temp_directory_path(error) / ("zentrova-play-" + std::to_string(getpid()));
  fs::remove_all(folder_, error);
  fs::create_directories(folder_ / "Pictures", error);
  // The toy loads its pictures and sounds from data/ in the current folder while it starts.
  const fs::path current = fs::current_path(error);
  if (!program_folder.empty()) fs::current_path(program_folder, error);
  // Whatever the platform may be asked for lies in the session's own folder.
  t_ = std::make_unique<TestApp>(1000, [&](platform::HeadlessPlatform& p) {
    p.SetEnvironment("HOME", folder_.string());
    p.SetEnvironment("XDG_CONFIG_HOME", (folder_ / "config").string());
    p.SetEnvironment("XDG_STATE_HOME", (folder_ / "state").string());
  });
  fs::current_path(current, error);
  if (!t_->created()) {
    failure_ = "the toy did not start: " + t_->app().FailureReason();
    return;
  }
  t_->NextFrame();
  seed_ = t_->platform().TimeMs();
  t_->afterFrame = [this] { CheckCorners("a frame"); };
}

PlaySession::~PlaySession() {
  t_.reset();
  std::error_code error;
  fs::remove_all(folder_, error);
}

// The towers of a fresh start: no button down, nothing held, the same jitter and ids, the
// history begun anew.
void PlaySession::Start() {
  TestApp& t = *t_;
  t.Release();
  t.platform().Release(platform::MouseButton::kRight);
  t.Move(600, 300);
  t.NextFrame();
  t.play().heldBody = nullptr;
  t.play().heldHandle = nullptr;
  t.world().grabLayer.DropAll();
  t.platform().Random().Seed(seed_);
  t.world().blockSet.ContinueIdsAfter(0);
  t.platform().ClearSounds();
  EnterPlaySpace(t.app());
  t.NextFrame();
}

void PlaySession::CheckCorners(const char* when) {
  if (!failure_.empty() || t_->current() != &t_->play()) return;
  const BlockSet& set = t_->world().blockSet;
  for (int i = 0; i < set.Count(); ++i)
    for (int k = 0; k < 8; ++k)
      if (!Finite(set.At(i)->corners[k])) {
        failure_ = std::string(when) + ": block " + std::to_string(i) + " corner " +
                   std::to_string(k) + " is not finite";
        return;
      }
}

void PlaySession::Step(const char* name) {
  CheckCorners(name);
  std::string why;
  if (failure_.empty() && !SaveReadsBack(*t_, &why))
    failure_ = std::string("after ") + name + ": the toy's save does not read back: " + why;
}

PlayResult PlaySession::Play(const uint8_t* data, size_t size) {
  PlayResult result;
  Snapshot snapshot;
  std::string why;
  if (!failure_.empty() || !ReadConstructionPng(data, size, &snapshot, &why)) return result;
  result.accepted = true;
  result_ = &result;
  Start();
  const fs::path dropped = folder_ / "dropped.png";
  std::ofstream(dropped, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  t_->platform().DropFile(dropped.string());
  t_->NextFrame();
  if (t_->world().blockSet.Count() != int(snapshot.blocks.size()))
    failure_ = "the opened file's blocks are not the play space's";
  Step("opening");
  for (void (PlaySession::*step)() :
       {&PlaySession::HandDrag, &PlaySession::LiftUnderTower, &PlaySession::HandleAndCopy,
        &PlaySession::PenStroke, &PlaySession::ToolChoice, &PlaySession::History,
        &PlaySession::SaveAndReopen, &PlaySession::Door})
    if (failure_.empty()) (this->*step)();
  if (failure_.empty()) {
    t_->world().blockSet.FinishPickRefresh();
    const std::vector<uint8_t> state = EncodeSnapshot(TakeSnapshot(t_->world(), t_->play()));
    result.digest = MixBytes(0, state.data(), state.size());
  }
  result.failure = failure_;
  failure_.clear();  // the next file starts afresh
  result_ = nullptr;
  return result;
}

// The last block whose top shows, pressed there and moved aside.
void PlaySession::HandDrag() {
  TestApp& t = *t_;
  if (t.play().currentTool != t.world().tools[kHand].get()) t.ChooseTool(kHand);
  const BlockSet& set = t.world().blockSet;
  for (int i = set.Count() - 1; i >= 0; --i) {
    platform::Point p;
    if (!ScreenOf(t, TopOf(*set.At(i)), &p) || !InPlayArea(p)) continue;
    t.Drag(p, {p.x + 30, p.y + 20}, 2);
    break;
  }
  Step("a hand drag");
}

// A tower's base (the last block at table level with a block glued on its top) and a block with
// nothing on its top: the block is taken and slid at table level just in front of the base, which
// lifts the tower onto it, then taken away again.
void PlaySession::LiftUnderTower() {
  TestApp& t = *t_;
  const BlockSet& set = t.world().blockSet;
  const Block* base = nullptr;
  platform::Point at;
  for (int i = set.Count() - 1; i >= 0 && !base; --i) {
    const Block& b = *set.At(i);
    const Face* top = b.faces[1].link;
    if (top && top->owner && top->owner != &b && Lowest(b) < 0.5f && ScreenOf(t, b.centre, &at) &&
        InPlayArea(at))
      base = &b;
  }
  Block* held = nullptr;
  platform::Point press;
  for (int i = 0; i < set.Count() && base && !held; ++i) {
    Block* b = set.At(i);
    if (b != base && !b->faces[1].link && ScreenOf(t, TopOf(*b), &press) && InPlayArea(press))
      held = b;
  }
  if (held) {
    t.Move(press.x, press.y);
    t.NextFrame();
    t.Press();
    t.NextFrame();
    platform::Point c0, centre;
    if (t.play().heldBody == held && ScreenOf(t, held->corners[0], &c0) &&
        ScreenOf(t, held->centre, &centre)) {
      const platform::Point to{at.x + c0.x - centre.x + t.play().grabOffsetX,
                               at.y + 20 + c0.y - centre.y + t.play().grabOffsetY};
      const platform::Point from = t.platform().CursorPos();
      for (int i = 1; i <= 2 && failure_.empty(); ++i) {
        t.Move(from.x + (to.x - from.x) * i / 2, from.y + (to.y - from.y) * i / 2);
        t.NextFrame();
        if (t.world().blockSet.groupBlock) result_->lifted = true;
      }
      t.NextFrame();
      t.Move(150, 60);
      t.NextFrame();
    }
    t.Release();
    t.NextFrame();
  }
  Step("the hand's lift under a tower");
}

// A block at table level taken by a bottom edge and moved in depth, then taken there again,
// which copies it.
void PlaySession::HandleAndCopy() {
  TestApp& t = *t_;
  BlockSet& set = t.world().blockSet;
  platform::render::RenderDevice* device = t.app().Graphics().Device();
  const auto edge_of = [&](const Block& b, platform::Point* edge) {
    platform::Point p;
    for (int k = 0; k < 4; ++k)
      if (!ScreenOf(t, b.corners[k], &p)) return false;  // BottomEdgePoint takes them as ints
    return BottomEdgePoint(set, device, b, edge) && InPlayArea(*edge);
  };
  platform::Point edge;
  const Block* block = nullptr;
  for (int i = 0; i < std::min(set.Count(), 400) && !block; ++i)
    if (Lowest(*set.At(i)) < 0.5f && edge_of(*set.At(i), &edge)) block = set.At(i);
  if (block) {
    t.Drag(edge, {edge.x, edge.y + 30}, 2);
    Step("a grab handle");
    const int before = set.Count();
    if (failure_.empty() && set.Find(block) >= 0 && edge_of(*block, &edge)) {
      t.Drag(edge, {edge.x, edge.y - 25}, 2);
      result_->copied = set.Count() > before;
    }
  }
  Step("a second grab handle");
}

// The red pen across a face that shows, or the table and the canvas.
void PlaySession::PenStroke() {
  TestApp& t = *t_;
  t.ChooseTool(kRedPen);
  const BlockSet& set = t.world().blockSet;
  platform::Point from{300, 150};
  for (int i = 0; i < set.Count(); ++i) {
    platform::Point p;
    if (ScreenOf(t, set.At(i)->centre, &p) && InPlayArea(p)) {
      from = p;
      break;
    }
  }
  t.Drag(from, {from.x + 40, from.y + 30}, 3);
  Step("a pen stroke");
}

// The rotate tool with a small turn, then the hand again: each choice refreshes the grab layer.
void PlaySession::ToolChoice() {
  TestApp& t = *t_;
  t.ChooseTool(kRotate);
  t.Drag({320, 240}, {345, 252}, 2);
  Step("a turn");
  t.ChooseTool(kHand);
  Step("a tool choice");
}

void PlaySession::History() {
  TestApp& t = *t_;
  t.platform().Send(platform::Message::kUndo);
  t.NextFrame();
  Step("an undo");
  t.platform().Send(platform::Message::kRedo);
  t.NextFrame();
  Step("a redo");
}

// Ctrl+S, the file it wrote read back and dropped on the toy again.
void PlaySession::SaveAndReopen() {
  TestApp& t = *t_;
  std::error_code error;
  const fs::path pictures =
      platform::PicturesFolder([&](const char* name) { return t.platform().Environment(name); });
  t.platform().PressSaveKeys();
  t.NextFrame();
  fs::path saved;
  for (const fs::directory_entry& entry : fs::directory_iterator(pictures, error))
    if (entry.path().extension() == ".png") saved = entry.path();
  if (saved.empty()) {
    failure_ = "the toy's save wrote no file";
    return;
  }
  const std::vector<uint8_t> bytes = FileBytes(saved.string());
  Snapshot snapshot;
  std::string why;
  if (!ReadConstructionPng(bytes.data(), bytes.size(), &snapshot, &why)) {
    failure_ = "the toy's save does not read back: " + why;
  } else {
    t.platform().DropFile(saved.string());
    t.NextFrame();
    if (t.world().blockSet.Count() != int(snapshot.blocks.size()))
      failure_ = "the toy's save did not open again";
  }
  fs::remove(saved, error);
  Step("the save opened again");
}

void PlaySession::Door() {
  TestApp& t = *t_;
  t.ChooseTool(kDoor);
  t.Move(20, 20);
  for (int i = 0; i < 10 && failure_.empty(); ++i) t.NextFrame();
  Step("ten door frames");
}

}  // namespace fuzz
