#pragma once

// The HTML pages of the simulated router.

#include <cstddef>
#include <string>
#include <string_view>

namespace tralvex::routersim::pages {

// Dotted quads of the status page in page order: 1 the firmware version,
// 2 the LAN address, 3 the LAN mask, 4 the WAN address, 5 the WAN mask,
// 6 the gateway, 7 and 8 the DNS servers.
inline constexpr int kStatusPageQuads = 8;

struct StatusView {
    bool up = true;                // the WAN link is up: its address, else 0.0.0.0 everywhere
    std::string_view address;      // the WAN address while up
    int quads = kStatusPageQuads;  // quads beyond this count are shown as "-"
    std::size_t padTo = 0;         // pad the page to this many bytes
};

std::string StatusPage(const StatusView& view);
// A page without any dotted quad, asking for the password.
std::string LoginPage();
std::string ErrorPage(int status, std::string_view reason);

}  // namespace tralvex::routersim::pages
