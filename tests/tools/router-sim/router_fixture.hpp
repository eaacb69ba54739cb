#pragma once

// Helpers for the tests that run the router in-process.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "router_sim.hpp"
#include "test_client.hpp"

namespace tralvex::routersim::testing {

inline std::unique_ptr<Router> StartRouter(Scenario scenario) {
    auto router = std::make_unique<Router>(std::move(scenario));
    EXPECT_EQ(router->Error(), "");
    return router;
}

// A scenario whose reconnections take no zero polls unless a test says so.
inline Scenario Quick() {
    Scenario scenario;
    scenario.zeroPolls = 0;
    return scenario;
}

// The fourth dotted quad of a fresh status page.
inline std::string Poll(const Router& router) {
    Response response = Get(router.Port(), kStatusTarget);
    EXPECT_TRUE(response.complete) << response.bytes;
    return FourthQuad(response.body);
}

// A disconnect and a connect request, both answered with the status page.
inline void Cycle(const Router& router) {
    EXPECT_EQ(Get(router.Port(), kDisconnectTarget).status, 200);
    EXPECT_EQ(Get(router.Port(), kConnectTarget).status, 200);
}

// The addresses the router shows after each of `cycles` reconnections.
inline std::vector<std::string> AddressesAfterCycles(const Router& router, int cycles) {
    std::vector<std::string> addresses;
    for (int i = 0; i < cycles; ++i) {
        Cycle(router);
        addresses.push_back(Poll(router));
    }
    return addresses;
}

}  // namespace tralvex::routersim::testing
