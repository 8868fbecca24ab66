#pragma once
// How much of a randomized or large-input test runs. Under the sanitizers
// (QM_SANITIZE, set by CMake with -DQM_SANITIZE=ON) the same code runs many
// times slower, so such tests take the same cases in fewer rounds and on
// smaller inputs.

namespace qm::test {

#ifdef QM_SANITIZE
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

// `full` rounds, or a fifth of them (one at least) under the sanitizers.
constexpr int rounds(int full) {
    return kSanitized ? (full + 4) / 5 : full;
}

}  // namespace qm::test
