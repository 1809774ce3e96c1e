#include "platform/large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

namespace velquin {
namespace {

// An array that grows from the ordinary heap past one large page keeps its values, and its storage
// then starts on a large page's bound; ASan, in the test build, checks that each storage goes back
// the way it came.
TEST(LargePagesTest, AnArrayGrowsPastOneLargePageWithItsValues) {
  TLargeArray<std::uint32_t> values;
  const std::size_t count = 3 * kLargePageBytes / sizeof(std::uint32_t) / 2;  // 3 MiB
  for (std::uint32_t i = 0; i < count; ++i) values.push_back(i * 7);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values.data()) % kLargePageBytes, 0u);
  for (std::uint32_t i = 0; i < count; ++i) ASSERT_EQ(values[i], i * 7) << i;
  values.resize(10);
  values.shrink_to_fit();
  EXPECT_EQ(std::accumulate(values.begin(), values.end(), 0u), 7u * 45);
}

}  // namespace
}  // namespace velquin
