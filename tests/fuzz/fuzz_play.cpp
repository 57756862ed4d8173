// libFuzzer target: a construction file opened in a headless toy and played (play_session.h),
// mutated field by field in its unpacked payload (construction_edit.h). A broken check aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "construction_edit.h"
#include "play_session.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

// The toy's data/ folder is built beside the target.
std::string program_folder;
std::unique_ptr<fuzz::PlaySession> session;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (*argc > 0) program_folder = std::filesystem::absolute((*argv)[0]).parent_path().string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Made once: a toy takes far longer to start than to play a file.
  if (!session) {
    session = std::make_unique<fuzz::PlaySession>(program_folder);
    if (!session->ready()) {
      std::fprintf(stderr, "fuzz_play: %s\n", session->failure().c_str());
      std::abort();
    }
  }
  const fuzz::PlayResult result = session->Play(data, size);
  if (!result.failure.empty()) {
    std::fprintf(stderr, "fuzz_play: %s\n", result.failure.c_str());
    std::abort();
  }
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  return fuzz::MutateConstruction(data, size, max_size, seed, LLVMFuzzerMutate);
}

extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* data1, size_t size1,
                                            const uint8_t* data2, size_t size2, uint8_t* out,
                                            size_t max_out_size, unsigned int seed) {
  return fuzz::CrossOverConstructions(data1, size1, data2, size2, out, max_out_size, seed);
}
