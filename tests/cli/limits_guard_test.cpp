#include "cli/limits_guard.hpp"

#include <gtest/gtest.h>

#include "support/file_access.hpp"

namespace tralvex::cli {
namespace {

using namespace std::chrono_literals;

class LimitsGuardTest : public ::testing::Test {
  protected:
    AddressHistory History(const std::string& lines) {
        tralvex::testing::WriteFileBytes(HistoryFilePath(dir_.path()), lines);
        return AddressHistory::Load(HistoryFilePath(dir_.path()));
    }

    tralvex::testing::TemporaryDirectory dir_;
};

TEST_F(LimitsGuardTest, WithoutLimitsAsksNothingOfTheRequests) {
    AddressHistory history = History("");
    LimitsGuard guard(Limits{}, history);
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(guard.MayCycle());
    EXPECT_TRUE(guard.MayPoll());
    for (RouterRequest request :
         {RouterRequest::Status, RouterRequest::Disconnect, RouterRequest::Connect}) {
        EXPECT_EQ(guard.TimeoutsFor(request), std::nullopt);
    }
    EXPECT_EQ(guard.Reason(), std::nullopt);
}

TEST_F(LimitsGuardTest, AllowsTheCyclesGivenThenStops) {
    AddressHistory history = History("");
    LimitsGuard guard(Limits{3, std::nullopt, 0}, history);
    EXPECT_TRUE(guard.MayCycle());
    EXPECT_TRUE(guard.MayCycle());
    EXPECT_TRUE(guard.MayPoll());
    EXPECT_TRUE(guard.MayCycle());
    EXPECT_FALSE(guard.MayCycle());
    EXPECT_EQ(guard.Reason(), StopReason::MaxCycles);
}

TEST_F(LimitsGuardTest, TimeLeftBoundsEveryRequestButTheConnect) {
    AddressHistory history = History("");
    LimitsGuard far(Limits{std::nullopt, Clock::now() + 100s, 0}, history);
    std::optional<RequestTimeouts> status = far.TimeoutsFor(RouterRequest::Status);
    ASSERT_TRUE(status);
    EXPECT_GT(status->resolve, 90000);
    EXPECT_LE(status->resolve, 100000);
    EXPECT_EQ(status->connect, kStandardTimeouts.connect);
    EXPECT_EQ(status->send, kStandardTimeouts.send);
    EXPECT_EQ(status->receive, kStandardTimeouts.receive);

    LimitsGuard near(Limits{std::nullopt, Clock::now() + 20s, 0}, history);
    std::optional<RequestTimeouts> disconnect = near.TimeoutsFor(RouterRequest::Disconnect);
    ASSERT_TRUE(disconnect);
    const int left = disconnect->resolve;
    EXPECT_LE(left, 20000);
    EXPECT_GT(left, 10000);
    EXPECT_EQ(*disconnect, (RequestTimeouts{left, left, left, left}));

    LimitsGuard passed(Limits{std::nullopt, Clock::now() - 1s, 0}, history);
    EXPECT_EQ(passed.TimeoutsFor(RouterRequest::Status), (RequestTimeouts{1, 1, 1, 1}));
    EXPECT_EQ(passed.TimeoutsFor(RouterRequest::Connect), kStandardTimeouts);
    EXPECT_TRUE(passed.DeadlinePassed());
    EXPECT_FALSE(passed.MayPoll());
    EXPECT_EQ(passed.Reason(), StopReason::Timeout);
}

TEST_F(LimitsGuardTest, AvoidsTheAddressesOfTheLastChangesOnly) {
    AddressHistory history = History(
        "2024-01-01T00:00:00Z 192.0.2.1 192.0.2.2\n"
        "2024-01-02T00:00:00Z 192.0.2.2 192.0.2.3\n"
        "malformed line\n"
        "2024-01-03T00:00:00Z 192.0.2.3 192.0.2.4\r\n");
    LimitsGuard lastTwo(Limits{std::nullopt, std::nullopt, 2}, history);
    EXPECT_TRUE(lastTwo.IsRepeat("192.0.2.9", "192.0.2.9"));
    EXPECT_TRUE(lastTwo.IsRepeat("192.0.2.4", "192.0.2.9"));
    EXPECT_TRUE(lastTwo.IsRepeat("192.0.2.3", "192.0.2.9"));
    EXPECT_FALSE(lastTwo.IsRepeat("192.0.2.2", "192.0.2.9"));

    LimitsGuard all(Limits{std::nullopt, std::nullopt, 100}, history);
    EXPECT_TRUE(all.IsRepeat("192.0.2.1", "192.0.2.9"));
    EXPECT_FALSE(all.IsRepeat("192.0.2.10", "192.0.2.9"));

    LimitsGuard none(Limits{}, history);
    EXPECT_FALSE(none.IsRepeat("192.0.2.4", "192.0.2.9"));
}

}  // namespace
}  // namespace tralvex::cli
