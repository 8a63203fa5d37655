#pragma once
// The kernel and streaming arguments the render and paint benchmarks share.
#include <cstdint>
#include <vector>

#include "display/SheetKernels.h"

namespace bench {

/// Chooses the kernel set for one benchmark from its `kernel` argument: 0 the portable loops every
/// other processor runs, 1 AVX2, 2 AVX-512. Rows are registered only for the sets the processor has.
class CKernels {
 public:
  explicit CKernels(std::int64_t kernel) { sheetkernels::SetKernel(static_cast<sheetkernels::EKernel>(kernel)); }
  ~CKernels() { sheetkernels::SetKernel(sheetkernels::BestKernel()); }
  CKernels(const CKernels&) = delete;
  CKernels& operator=(const CKernels&) = delete;
};

/// The `stream` argument of the paint rows: 0 the processor's own size from which pictures are
/// written past the caches, 1 every picture from 4 MiB on, 2 none.
class CStreaming {
 public:
  explicit CStreaming(std::int64_t mode) {
    sheetkernels::SetStreamBytes(mode == 1 ? std::int64_t{4} << 20 : mode == 2 ? std::int64_t{1} << 50 : 0);
  }
  ~CStreaming() { sheetkernels::SetStreamBytes(0); }
  CStreaming(const CStreaming&) = delete;
  CStreaming& operator=(const CStreaming&) = delete;
};

/// The `kernel` arguments of the sets the processor has.
inline std::vector<std::int64_t> KernelsHere() {
  std::vector<std::int64_t> kernels;
  for (const auto k : {sheetkernels::EKernel::Portable, sheetkernels::EKernel::Avx2, sheetkernels::EKernel::Avx512})
    if (sheetkernels::KernelAvailable(k)) kernels.push_back(static_cast<std::int64_t>(k));
  return kernels;
}

}  // namespace bench
