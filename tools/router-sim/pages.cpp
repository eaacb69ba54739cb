#include "pages.hpp"

#include <array>

namespace tralvex::routersim::pages {
namespace {

// Documentation addresses only: the page is text, never a place to connect to.
constexpr std::string_view kFirmware = "4.19.6.2";
constexpr std::string_view kLanAddress = "198.51.100.1";
constexpr std::string_view kLanMask = "255.255.255.0";
constexpr std::string_view kWanMask = "255.255.255.255";
constexpr std::string_view kGateway = "203.0.113.1";
constexpr std::string_view kDns1 = "198.51.100.53";
constexpr std::string_view kDns2 = "198.51.100.54";
constexpr std::string_view kZero = "0.0.0.0";

constexpr std::string_view kHead =
    "<html>\n"
    "<head>\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
    "<meta http-equiv=\"pragma\" content=\"no-cache\">\n";

constexpr std::string_view kStyle =
    "<style type=\"text/css\">\n"
    "body { font: 12px sans-serif; }\n"
    "td.name { width: 160px; text-align: right; font-weight: bold; }\n"
    "h2 { background: #dde6f0; padding: 2px 6px; }\n"
    "</style>\n";

std::string Row(std::string_view name, std::string_view value) {
    return "<tr><td class=\"name\">" + std::string(name) + "</td><td>" + std::string(value) +
           "</td></tr>\n";
}

// The button under the WAN address: the form a browser submits as the
// disconnect or connect request.
std::string LinkButton(bool up) {
    std::string_view name = up ? "Disconnect" : "Connect";
    std::string_view label = up ? "断 线" : "连 接";
    return "<form action=\"/userRpm/StatusRpm.htm\" method=\"get\">"
           "<input type=\"submit\" name=\"" +
           std::string(name) + "\" value=\"" + std::string(label) +
           "\"><input type=\"hidden\" name=\"wan\" value=\"1\"></form>";
}

// The eight quads in page order, those beyond `count` replaced by "-".
std::array<std::string, kStatusPageQuads> Quads(const StatusView& view) {
    std::array<std::string_view, kStatusPageQuads> all = {kFirmware,
                                                          kLanAddress,
                                                          kLanMask,
                                                          view.up ? view.address : kZero,
                                                          view.up ? kWanMask : kZero,
                                                          view.up ? kGateway : kZero,
                                                          view.up ? kDns1 : kZero,
                                                          view.up ? kDns2 : kZero};
    std::array<std::string, kStatusPageQuads> shown;
    for (int i = 0; i < kStatusPageQuads; ++i) {
        shown[static_cast<std::size_t>(i)] =
            i < view.quads ? std::string(all[static_cast<std::size_t>(i)]) : "-";
    }
    return shown;
}

// Whitespace inside a comment, so that padding adds no text and no quad; a
// line break every 64 bytes keeps it readable in an editor.
std::string Padding(std::size_t size) {
    constexpr std::string_view open = "<!-- ";
    constexpr std::string_view close = " -->\n";
    if (size < open.size() + close.size()) return std::string(size, ' ');
    std::string padding(size, ' ');
    padding.replace(0, open.size(), open);
    padding.replace(size - close.size(), close.size(), close);
    for (std::size_t i = open.size() + 63; i < size - close.size(); i += 64) padding[i] = '\n';
    return padding;
}

}  // namespace

std::string StatusPage(const StatusView& view) {
    std::array<std::string, kStatusPageQuads> q = Quads(view);
    std::string page(kHead);
    page += "<title>Status</title>\n";
    page += kStyle;
    page += "</head>\n<body>\n<h1>Running Status</h1>\n<table class=\"status\" id=\"system\">\n";
    page += Row("Firmware Version:", q[0] + " Build 140327 Rel.61437n");
    page += Row("Hardware Version:", "SIM-R1 v1 00000000");
    page += "</table>\n<h2>LAN</h2>\n<table class=\"status\" id=\"lan\">\n";
    page += Row("MAC Address:", "02-00-5E-10-00-01");
    page += Row("IP Address:", q[1]);
    page += Row("Subnet Mask:", q[2]);
    page += "</table>\n<h2>WAN</h2>\n<table class=\"status\" id=\"wan\">\n";
    page += Row("MAC Address:", "02-00-5E-10-00-02");
    page += Row("IP Address:", q[3] + " PPPoE " + LinkButton(view.up));
    page += Row("Subnet Mask:", q[4]);
    page += Row("Default Gateway:", q[5]);
    page += Row("DNS Server:", q[6] + " , " + q[7]);
    page += Row("Online Time:", view.up ? "0 day(s) 01:02:03" : "0 day(s) 00:00:00");
    page += "</table>\n<h2>Traffic Statistics</h2>\n<table class=\"status\" id=\"traffic\">\n";
    page += Row("Bytes Received / Sent:", "48,213,775 / 6,104,092");
    page += Row("Packets Received / Sent:", "52,871 / 31,460");
    page += "</table>\n";
    constexpr std::string_view tail = "</body>\n</html>\n";
    if (view.padTo > page.size() + tail.size())
        page += Padding(view.padTo - page.size() - tail.size());
    page += tail;
    return page;
}

std::string LoginPage() {
    std::string page(kHead);
    page += "<title>Login</title>\n";
    page += kStyle;
    page +=
        "</head>\n<body>\n<h1>Router Login</h1>\n"
        "<p>Please enter the administrator password to manage this router.</p>\n"
        "<form action=\"/\" method=\"get\">\n"
        "<table class=\"login\">\n";
    page += Row("User Name:", "admin");
    page += Row("Password:", "<input type=\"password\" name=\"password\" size=\"20\">");
    page +=
        "</table>\n"
        "<input type=\"submit\" value=\"Login\">\n"
        "</form>\n"
        "</body>\n</html>\n";
    return page;
}

std::string ErrorPage(int status, std::string_view reason) {
    std::string title = std::to_string(status) + " " + std::string(reason);
    return "<html>\n<head><title>" + title + "</title></head>\n<body>\n<h1>" + title +
           "</h1>\n</body>\n</html>\n";
}

}  // namespace tralvex::routersim::pages
