// Decoding an ordinary response into a warm object table, and encoding a request into a warm
// buffer, take no heap block at all: the allocator is counted while the codec runs.

#include <gtest/gtest.h>

#include <string>

#include "allocation_counter.h"
#include "snmp/codec.h"

namespace kestrava {
namespace {

// A Response with 15 Counter32 bindings of the interface table, as an agent sends it.
TByteBuffer FifteenCounters() {
  TSnmpMessage msg;
  msg.Community.assign("cobalt");
  msg.RequestId = 31337;
  msg.ErrorStatus = 0;
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i) {
    objects.At(i).Id.assign("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
    objects.At(i).Type = kTagCounter32;
    objects.At(i).Value.assign(std::to_string(4000000000u - 1234567u * i));
  }
  TByteBuffer out;
  std::string error;
  EXPECT_EQ(BuildMessage(kActionResponse, msg, objects, out, error), 0);
  return out;
}

TEST(CodecAllocation, WarmDecodeOfFifteenCountersAllocatesNothing) {
  const TByteBuffer response = FifteenCounters();
  TSnmpMessage msg;
  TObjectTable objects;
  ASSERT_EQ(ParseMessage(response.data(), response.size(), msg, objects), 0);
  const long before = testing_alloc::Allocations();
  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ(ParseMessage(response.data(), response.size(), msg, objects), 0);
  }
  EXPECT_EQ(testing_alloc::Allocations() - before, 0);
  EXPECT_EQ(objects.Count(), 15);
  EXPECT_EQ(objects.At(15).Value.view(), std::to_string(4000000000u - 1234567u * 15));
}

TEST(CodecAllocation, WarmEncodeOfFifteenOidsAllocatesNothing) {
  TSnmpMessage msg;
  msg.Community.assign("cobalt");
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i)
    objects.At(i).Id.assign("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error), 0);
  const long before = testing_alloc::Allocations();
  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error), 0);
  }
  EXPECT_EQ(testing_alloc::Allocations() - before, 0);
}

}  // namespace
}  // namespace kestrava
