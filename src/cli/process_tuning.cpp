#include "cli/process_tuning.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace tib {

namespace {

constexpr std::uintptr_t kMiB = std::uintptr_t{1} << 20U;
// Blocks below this come from the heap; it is the largest value glibc
// accepts on 64-bit systems. Larger images get mappings of their own.
constexpr std::uintptr_t kMmapThreshold = 32 * kMiB;
// Free memory at the top of the heap is kept up to this much.
constexpr std::uintptr_t kTrimThreshold = 128 * kMiB;
// The heap grows by this much more than asked each time.
constexpr std::uintptr_t kTopPad = 16 * kMiB;
// The part of the heap backed by huge pages: about what a run at size 1024
// touches. A huge page is resident as a whole once touched, so a wider span
// would add memory that a run touches only in part; past this span the heap
// uses ordinary pages.
constexpr std::uintptr_t kHugeSpan = 12 * kMiB;
constexpr std::uintptr_t kHugePage = 2 * kMiB;
// Size field ahead of each glibc heap block, and the least block.
constexpr std::uintptr_t kSizeField = 8;
constexpr std::uintptr_t kLeastBlock = 32;

std::uintptr_t address(const void* pointer) {
  return reinterpret_cast<std::uintptr_t>(pointer);
}

}  // namespace

ProcessMemoryTuning::ProcessMemoryTuning() {
  // The run's large buffers (the decoded board, the codec's work buffers)
  // come from the heap instead of mappings of their own that are unmapped
  // when freed, and the heap is not trimmed: freed memory serves the next
  // buffers instead of being faulted in afresh.
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMmapThreshold));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kTrimThreshold));
  mallopt(M_TOP_PAD, static_cast<int>(kTopPad));

  // Grow the heap past one huge page boundary plus kHugeSpan, and ask for
  // transparent huge pages there: one fault then brings in 2 MiB instead
  // of 4 KiB.
  const std::uintptr_t breakBefore = address(sbrk(0));
  constexpr std::uintptr_t probeSize = kHugeSpan + kHugePage;
  void* const probe = std::malloc(probeSize);
  if (probe == nullptr) {
    return;
  }
  const std::uintptr_t start = address(probe);
  const std::uintptr_t boundary =
      (start + kLeastBlock + kHugePage - 1) & ~(kHugePage - 1);
  // Only glibc's own heap: a sanitizer brings an allocator of its own.
  const bool onHeap =
      address(sbrk(0)) > breakBefore && start + probeSize <= address(sbrk(0));
  if (onHeap) {
    madvise(static_cast<char*>(probe) + (boundary - start), kHugeSpan,
            MADV_HUGEPAGE);
  }
  std::free(probe);
  if (!onHeap) {
    return;
  }
  // A block held from the start of the free heap up to the boundary makes
  // the run's first buffers start on a huge page, the same way in every run
  // whatever address the heap was given.
  filler_ = std::malloc(boundary - start - kSizeField);
  if (address(filler_) != start) {
    std::free(filler_);
    filler_ = nullptr;
  }
}

ProcessMemoryTuning::~ProcessMemoryTuning() { std::free(filler_); }

}  // namespace tib
