#pragma once

// Each test of the program gets a settings directory of its own and drives a
// simulated router in this process, on 127.0.0.1.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_process.hpp"
#include "router_sim.hpp"
#include "support/file_access.hpp"

namespace tralvex::cli::testing {

using routersim::Kind;
using routersim::Router;
using routersim::Scenario;

inline std::string AddressOf(const Router& router) {
    return "127.0.0.1:" + std::to_string(router.Port());
}

inline std::vector<Kind> KindsOf(const Router& router) {
    std::vector<Kind> kinds;
    for (const routersim::Record& record : router.Records()) kinds.push_back(record.kind);
    return kinds;
}

// Status, then `cycles` times disconnect, connect and `pollsPerCycle` status
// polls.
inline std::vector<Kind> Exchange(int cycles, int pollsPerCycle) {
    std::vector<Kind> kinds = {Kind::Status};
    for (int i = 0; i < cycles; ++i) {
        kinds.push_back(Kind::Disconnect);
        kinds.push_back(Kind::Connect);
        kinds.insert(kinds.end(), static_cast<std::size_t>(pollsPerCycle), Kind::Status);
    }
    return kinds;
}

// The lines a run prints for the first page and after `zeroPolls` polls
// showing 0.0.0.0 plus the one with the new address.
inline std::string NewAddressLines(const std::string& oldIp, const std::string& newIp,
                                   int zeroPolls) {
    std::string lines = "现在的IP：" + oldIp + "\n";
    for (int i = 0; i <= zeroPolls; ++i) lines += "刷新中…\n";
    return lines + "更换后IP：" + newIp + "\n上次的IP：" + oldIp + "\n";
}

class CliTest : public ::testing::Test {
  protected:
    const std::filesystem::path& Dir() const { return dir_.path(); }

    std::unique_ptr<Router> StartRouter(Scenario scenario) {
        auto router = std::make_unique<Router>(std::move(scenario));
        EXPECT_EQ(router->Error(), "");
        return router;
    }

    // The program with --router for `router`, --settings for this test's
    // directory, then `extra`, and the router's default password "admin".
    Launch LaunchFor(const Router& router, std::vector<std::string> extra = {}) const {
        Launch launch;
        launch.args = {"--router", AddressOf(router), "--settings", Dir().string()};
        launch.args.insert(launch.args.end(), extra.begin(), extra.end());
        launch.environment = {{"TRALVEX_IP_PASSWORD", "admin"}};
        return launch;
    }

    std::filesystem::path HistoryFile() const { return Dir() / "IPhistory.txt"; }

  private:
    tralvex::testing::TemporaryDirectory dir_;
};

}  // namespace tralvex::cli::testing
