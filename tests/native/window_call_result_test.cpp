#include <gtest/gtest.h>

#include <cstdint>

#include "window/call_result.h"

namespace ltf {
namespace {

constexpr std::int32_t Hresult(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

TEST(WindowCallResultTest, AFailedCallYieldsItsLastErrorAsAnHresult) {
  void* const some = reinterpret_cast<void*>(0x1000);
  void* const all_bits = reinterpret_cast<void*>(~std::uintptr_t{0});
  using enum HandleFailure;
  const struct {
    void* handle;
    HandleFailure failure;
    std::uint32_t last_error;
    bool failed;
    std::int32_t hresult;
  } cases[] = {
      {some, Null, 5, false, 0},
      {nullptr, Null, 5, true, Hresult(0x80070005)},
      {nullptr, Null, 1400, true, Hresult(0x80070578)},
      // A failure that left no last error is still a failure, never S_OK.
      {nullptr, Null, 0, true, Hresult(0x80004005)},
      {nullptr, NullOrAllBits, 1813, true, Hresult(0x80070715)},
      {all_bits, NullOrAllBits, 0, true, Hresult(0x80004005)},
      {all_bits, Null, 0, false, 0},
      // Codes that already are HRESULTs pass through; others keep their low 16 bits.
      {nullptr, Null, 0x80040154, true, Hresult(0x80040154)},
      {nullptr, Null, 0x00012345, true, Hresult(0x80072345)},
  };
  for (const auto& c : cases) {
    const auto result = HandleOrError(c.handle, c.failure, c.last_error);
    ASSERT_EQ(!result.has_value(), c.failed) << c.handle << " " << c.last_error;
    if (result) {
      EXPECT_EQ(*result, c.handle);
    } else {
      EXPECT_EQ(result.error().hresult, c.hresult) << c.last_error;
    }
  }

  const struct {
    int result;
    std::uint32_t last_error;
    bool failed;
    std::int32_t hresult;
  } bools[] = {{1, 5, false, 0},
               {2, 0, false, 0},
               {0, 6, true, Hresult(0x80070006)},
               {0, 0, true, Hresult(0x80004005)}};
  for (const auto& c : bools) {
    const auto result = BoolOrError(c.result, c.last_error);
    ASSERT_EQ(!result.has_value(), c.failed) << c.result;
    if (!result) {
      EXPECT_EQ(result.error().hresult, c.hresult) << c.last_error;
    }
  }
}

}  // namespace
}  // namespace ltf
