// The owners the C++ classes hold their devices in: each device is closed exactly once, by the
// object that owns it when it is closed or goes, and never by one moved from or taken over.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "halvern/detail/DeviceHandle.hpp"

namespace {

std::vector<int> closedHandles;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
void closeHandle(int handle) { closedHandles.push_back(handle); }
using Handle = halvern::detail::DeviceHandle<int, &closeHandle>;

TEST(DeviceHandle, ClosesOnceWhenClosedOrDestroyedAndNeverFromAMovedFromOwner) {
  closedHandles.clear();
  {
    Handle first(7);
    Handle second(std::move(first));
    EXPECT_TRUE(first.IsClosed());  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(first.Get(), 0);
    first.Close();
    EXPECT_EQ(second.Get(), 7);
    second.Close();
    second.Close();
    EXPECT_EQ(closedHandles, std::vector<int>{7});

    Handle third(8);
    Handle fourth(9);
    fourth = std::move(third);  // closes 9, takes 8 over
    EXPECT_EQ(closedHandles, (std::vector<int>{7, 9}));
    EXPECT_EQ(fourth.Get(), 8);
  }  // the owner of 8 goes; the moved-from one closes nothing
  EXPECT_EQ(closedHandles, (std::vector<int>{7, 9, 8}));
}

struct Board {};  // a family of its own: its holds are told apart from other families'
std::vector<uint64_t> closedTokens;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
void closeBoard(uint64_t token) { closedTokens.push_back(token); }
using Hold = halvern::detail::LibraryWideHandle<Board, &closeBoard>;

Hold takeOver() {
  const auto lock = Hold::Owner::Lock();
  return Hold::TakeOver();
}

TEST(LibraryWideHandle, OnlyTheCurrentHoldClosesTheDeviceAndOnlyOnce) {
  closedTokens.clear();
  Hold older = takeOver();
  Hold newer = takeOver();
  EXPECT_FALSE(older.IsCurrent());
  EXPECT_TRUE(newer.IsCurrent());
  older.Close();  // taken over: leaves the newer one's device alone
  EXPECT_TRUE(closedTokens.empty());

  int uses = 0;
  EXPECT_FALSE(older.IfCurrent([&] { ++uses; }));
  EXPECT_TRUE(newer.IfCurrent([&] { ++uses; }));
  EXPECT_EQ(uses, 1);

  Hold moved(std::move(newer));
  EXPECT_FALSE(newer.IsCurrent());  // NOLINT(bugprone-use-after-move): moved-from is empty
  newer.Close();
  EXPECT_TRUE(closedTokens.empty());
  const uint64_t token = moved.Token();
  moved.Close();
  moved.Close();
  EXPECT_EQ(closedTokens, std::vector<uint64_t>{token});
  EXPECT_FALSE(moved.IsCurrent());

  { const Hold last = takeOver(); }  // a hold that goes closes its device
  EXPECT_EQ(closedTokens.size(), 2U);
}

}  // namespace
