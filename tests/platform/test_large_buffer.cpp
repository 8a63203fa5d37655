#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/LargeBuffer.h"

// A run of requests on one buffer: memory is kept while it is large enough, replaced when a
// request outgrows it, and always lies on the huge-page boundary.
TEST(LargeBuffer, KeepsItsMemoryUntilARequestOutgrowsIt) {
  platform::CLargeBuffer buffer;
  EXPECT_EQ(buffer.data(), nullptr);
  const struct {
    std::size_t bytes;
    bool sameMemory;  // as after the previous request
    std::size_t capacity;
  } kSteps[] = {
      {0, true, 0},                    // nothing asked, nothing held
      {4096, false, 4096},             // first memory
      {100, true, 4096},               // smaller: kept
      {4096, true, 4096},              // the same again: kept
      {8u << 20, false, 8u << 20},     // larger: replaced
      {3u << 20, true, 8u << 20},      // a smaller picture after a larger one
  };
  const void* previous = buffer.data();
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.bytes);
    ASSERT_TRUE(buffer.reserve(step.bytes));
    EXPECT_EQ(buffer.data() == previous, step.sameMemory);
    EXPECT_EQ(buffer.capacity(), step.capacity);
    if (buffer.data() != nullptr) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % platform::CLargeBuffer::kAlignment, 0u);
      std::memset(buffer.data(), 0xA5, step.bytes);  // every byte asked for is writable
    }
    previous = buffer.data();
  }
  buffer.reset();
  EXPECT_EQ(buffer.data(), nullptr);
  EXPECT_EQ(buffer.capacity(), 0u);
}
