// TV3Requests: requests kept for a second send, found by message id, bounded in age and number.
#include "snmp/v3_requests.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TV3Request At(int32_t msgId, int64_t atMs) {
  TV3Request request;
  request.MsgId = msgId;
  request.RequestId = msgId * 10;
  request.AtMs = atMs;
  return request;
}

TEST(V3Requests, SentRequestsAreFoundByTheirLatestSendAndForgotten) {
  TV3Requests requests;
  requests.Sent(At(1, 0), 0);
  requests.Sent(At(2, 0), 0);
  TV3Request again = At(1, 5);
  again.RequestId = 99;
  requests.Sent(std::move(again), 5);
  ASSERT_NE(requests.FindSent(1), nullptr);
  EXPECT_EQ(requests.FindSent(1)->RequestId, 99) << "the latest send of message 1";
  EXPECT_EQ(requests.FindSent(3), nullptr);
  requests.ForgetSent(2);
  EXPECT_EQ(requests.FindSent(2), nullptr);
  EXPECT_EQ(requests.SentCount(), 2u);
}

TEST(V3Requests, AnAnsweredRequestLendsItsRoomToTheNext) {
  TV3Requests requests;
  TV3Request first = requests.Reuse();
  EXPECT_TRUE(first.Objects.empty());
  first.MsgId = 7;
  first.Objects.resize(15, {std::string(40, 'o'), 5, std::string()});
  const TV3Request::TObject* room = first.Objects.data();
  requests.Sent(std::move(first), 0);
  requests.ForgetSent(7);
  // The next request starts clean but in the same room; one given back after Clear does not.
  TV3Request next = requests.Reuse();
  EXPECT_EQ(next.MsgId, 0);
  EXPECT_FALSE(next.Resent);
  EXPECT_EQ(next.Objects.data(), room);
  EXPECT_EQ(requests.Reuse().Objects.capacity(), 0u);
  requests.Sent(std::move(next), 0);
  requests.ForgetSent(0);
  requests.Clear();
  EXPECT_EQ(requests.Reuse().Objects.capacity(), 0u);
}

TEST(V3Requests, RequestsAreKeptAMinuteAndAThousandAtMost) {
  TV3Requests requests;
  requests.Wait(At(1, 0), 0);
  requests.Wait(At(2, 30000), 30000);
  requests.Wait(At(3, 61000), 61000);  // the first is older than a minute now
  const auto waiting = requests.TakeWaiting();
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_EQ(waiting.front().MsgId, 2);
  EXPECT_EQ(requests.WaitingCount(), 0u);
  for (int32_t i = 0; i < 1100; ++i) requests.Sent(At(i, 100), 100);
  EXPECT_EQ(requests.SentCount(), TV3Requests::kMaxKept);
  EXPECT_EQ(requests.FindSent(75), nullptr) << "the oldest went first";
  EXPECT_NE(requests.FindSent(1099), nullptr);
  requests.Clear();
  EXPECT_EQ(requests.SentCount(), 0u);
}

}  // namespace
}  // namespace kestrava
