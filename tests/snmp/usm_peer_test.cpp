// TUsmPeer: the agent's clock as learnt, and as it runs on.
#include "snmp/usm_peer.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(UsmPeer, TheClockRunsOnFromWhenItWasLearnt) {
  TUsmPeer peer;
  peer.EngineId = "engine";
  peer.LearnClock(3, 1000, 50'000);
  EXPECT_TRUE(peer.ClockKnown);
  EXPECT_EQ(peer.EstimatedTime(50'000), 1000);
  EXPECT_EQ(peer.EstimatedTime(50'999), 1000) << "whole seconds";
  EXPECT_EQ(peer.EstimatedTime(62'000), 1012);
  // Negative boots or time name no clock.
  peer.LearnClock(-1, 5, 70'000);
  peer.LearnClock(4, -5, 70'000);
  EXPECT_EQ(peer.Boots, 3);
  EXPECT_EQ(peer.EstimatedTime(62'000), 1012);
  peer.Forget();
  EXPECT_TRUE(peer.EngineId.empty());
  EXPECT_FALSE(peer.ClockKnown);
}

}  // namespace
}  // namespace kestrava
