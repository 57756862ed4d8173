// What the processor can do beyond plain x86-64, read once. Code compiled for more (a function
// marked ZENTROVA_AVX2) runs only where this says so, chosen by an ordinary branch: no load-time
// resolvers, which the thread sanitizer's start-up cannot run.
#pragma once

// Compiles one function for AVX2; call it only where HasAvx2().
#define ZENTROVA_AVX2 __attribute__((target("avx2")))

namespace platform {

bool HasAvx2();

}  // namespace platform
