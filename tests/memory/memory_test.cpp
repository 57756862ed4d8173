// Memory: readers spend in proportion to the file, and a long session does not grow the heap.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "collapse_scenes.h"
#include "heap_figures.h"
#include "platform/image/picture.h"
#include "test_app.h"
#include "zeros_construction.h"

namespace {

// 69 bytes of PNG that declare 8192 x 8192 RGBA pixels (256 MB decoded) over a few bytes of data.
const std::vector<uint8_t> kTinyHugePng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x20, 0x00, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x72, 0xaa, 0xca, 0x59, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x78,
    0xda, 0x63, 0x60, 0x60, 0x60, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0xc8, 0xea, 0xeb,
    0xf9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

TEST(ReaderSpending, ATinyPngThatClaimsAHugePictureIsRefusedBeforeAnythingLargeIsAllocated) {
  ASSERT_EQ(kTinyHugePng.size(), 69u);
  platform::image::Picture picture;
  std::string why;
  const size_t in_use = heap::InUse();
  heap::ResetPeak();
  const size_t before = heap::NewBytes();
  EXPECT_FALSE(
      platform::image::DecodePng(kTinyHugePng.data(), kTinyHugePng.size(), &picture, &why));
  const size_t peak = heap::PeakNewBytes() - before;
  EXPECT_LT(peak, size_t(64) << 10) << "bytes held at the peak while reading 69 bytes";
  EXPECT_LT(heap::InUse(), in_use + (size_t(64) << 10));
  EXPECT_NE(why.find("PNG"), std::string::npos) << why;
}

// 135 bytes of PNG (a seed of the fuzz corpus): a header, then a text chunk that declares
// 0x7E00000D bytes (about 2 GB). libpng allocates with malloc, which the counting operator new
// does not see: the decode runs in a child process, whose exit status is the megabytes its peak
// resident size grew by.
TEST(ReaderSpending, APngChunkClaimingTwoGigabytesIsRefusedWithoutTouchingThem) {
  const std::vector<uint8_t> bytes =
      FileBytes(std::string(ZENTROVA_SEED_DIR) + "/png/text_chunk_past_end.png");
  ASSERT_EQ(bytes.size(), 135u);
  platform::image::Picture picture;
  std::string why;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    const bool read = platform::image::DecodePng(bytes.data(), bytes.size(), &picture, &why);
    getrusage(RUSAGE_SELF, &after);
    _exit(read ? 255 : int(std::min(254L, (after.ru_maxrss - before.ru_maxrss) / 1024)));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_LT(WEXITSTATUS(status), 4) << "megabytes of peak resident size added (255: read)";
}

// 37 MB of zeros in a file of some 160 KB: refused on its head, before the rest is unpacked.
TEST(ReaderSpending, AConstructionWhoseHeadCannotBeRightIsRefusedBeforeTheRestIsUnpacked) {
  const std::vector<uint8_t> png = ConstructionOfZeros();
  ASSERT_LT(png.size(), size_t(256) << 10);
  heap::ResetPeak();
  const size_t before = heap::NewBytes();
  Snapshot snapshot;
  std::string why;
  EXPECT_FALSE(ReadConstructionPng(png.data(), png.size(), &snapshot, &why));
  EXPECT_NE(why.find("other picture sizes"), std::string::npos) << why;
  // The head is about 1.1 MB; unpacking everything held 37 MB.
  EXPECT_LT(heap::PeakNewBytes() - before, size_t(4) << 20);
}

// Title, start, a block taken off a tower and dropped on the table, door, the wait until the door
// closes, title again. The wait's first frames run one by one; a construction still moving then
// has the clock jump to the door's time limit, as on a machine that stalled, so that fifty cycles
// take seconds instead of up to a thousand frames each.
void Cycle(TestApp& t) {
  t.EnterPlay();
  ASSERT_EQ(t.current(), &t.play());
  t.Move(286, 18);  // the first tower's top block
  t.NextFrame();
  t.Drag(150, 330, 8);
  Tool* door = t.world().tools[3].get();
  t.Click(int(door->x) + 24, int(door->y) + 24);
  for (int frame = 0; frame < 25 && t.current() == &t.play(); ++frame) t.NextFrame();
  if (t.current() == &t.play()) t.platform().Advance(20000);
  for (int frame = 0; frame < 100 && t.current() != &t.title(); ++frame) t.NextFrame();
  ASSERT_EQ(t.current(), &t.title());
  t.platform().ClearSounds();  // the test's own record of what was heard
}

TEST(SessionMemory, FiftyTitlePlayDoorTitleCyclesDoNotGrowTheHeap) {
  TestApp t;
  ASSERT_TRUE(t.created());
  t.NextFrame();
  // The first cycles make what lives for the whole run (caches, buffers grown to their size).
  for (int i = 0; i < 2; ++i) Cycle(t);
  const size_t settled = heap::InUse(), settled_new = heap::NewBytes();
  for (int i = 2; i < 50; ++i) {
    Cycle(t);
    if (HasFatalFailure()) return;
  }
  const size_t end = heap::InUse(), end_new = heap::NewBytes();
  std::printf(
      "heap in use after 2 cycles: %zu bytes, after 50: %zu bytes (through new: %zu, %zu)\n",
      settled, end, settled_new, end_new);
  // Everything the program allocates goes through new, counted here to the byte.
  EXPECT_LE(end_new, settled_new) << "new holds " << (end_new - settled_new) << " bytes more";
  // The allocator's own figure also sees the C libraries' blocks (the test runs with the
  // per-thread cache off, see CMakeLists.txt, whose parked blocks it would count too). Its
  // bookkeeping can settle a few dozen bytes later than the second cycle; a block lost per
  // cycle, even the smallest, would add 48 chunks of at least 32 bytes.
  EXPECT_LT(end, settled + 1024) << "the heap grew by " << (end - settled) << " bytes";
}

// A crowd's pick fills, filled nearest first: the front buffer refilled in the rows of a nudged
// block on the second core, filled whole, and the back buffer filled without a block. Once the
// buffers and the fill's own scratch have their size, none allocates.
TEST(SessionMemory, PickFillsOfACrowdAllocateNothingOnceUnderWay) {
  TestApp t;
  ASSERT_TRUE(t.created());
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  scenes::AddBlocksInTheAir(t, set, 1000, 5);
  t.NextFrame();
  platform::render::RenderDevice* device = t.app().Graphics().Device();
  auto fills = [&](int count) {
    for (int i = 0; i < count; ++i) {
      Block& nudged = *set.At(i * 37 % set.Count());
      for (Vec3& c : nudged.corners) c.x += i % 2 ? 0.01f : -0.01f;
      set.Step(device, nullptr);
      set.FinishPickRefresh();
      set.SetPickReuse(false);
      set.RefreshPickBuffer(device, nullptr);
      set.SetPickReuse(true);
      set.RefreshPickBuffer(device, &nudged);
    }
  };
  fills(2);
  const int refills = set.FrontRowRefills();
  const size_t calls = heap::NewCalls();
  fills(20);
  EXPECT_EQ(heap::NewCalls() - calls, 0u) << "allocations in 20 rounds of three fills";
  EXPECT_EQ(set.FrontRowRefills() - refills, 20) << "the refills of a nudged block's rows";
}

}  // namespace
