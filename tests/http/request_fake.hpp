#pragma once

// A recording fake under the request object's ProgID, with the members the
// HttpRequest class calls, and the log lines the class's calls produce. The
// URLs used with it are only text handed to the fake; nothing is ever sent.

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "automation/dispatch.hpp"
#include "support/fake_component.hpp"

namespace tralvex::request_fake {

using automation::InvokeOutcome;
using automation::Variant;
using testing::FakeCall;
using testing::FakeMember;
using testing::ScopedCoInit;
using testing::ScopedFake;
using Lines = std::vector<std::string>;

inline constexpr const char* kProgId = "WinHttp.WinHttpRequest.5.1";
inline constexpr const char* kUrl = "http://192.168.1.1/userRpm/StatusRpm.htm";

inline std::vector<FakeMember> RequestMembers() {
    std::vector<FakeMember> members;
    for (const char* name :
         {"Open", "SetRequestHeader", "Send", "GetResponseHeader", "GetAllResponseHeaders",
          "SetTimeouts", "SetProxy", "SetCredentials", "SetClientCertificate", "SetAutoLogonPolicy",
          "WaitForResponse", "Abort"}) {
        members.push_back({name, false, false, true});
    }
    for (const char* name :
         {"Status", "StatusText", "ResponseText", "ResponseBody", "ResponseStream"}) {
        members.push_back({name, true, false, false});
    }
    members.push_back({"Option", true, true, false});
    return members;
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

inline std::string HeaderLine(const std::string& name, const std::string& value) {
    return "call #1.SetRequestHeader(" + Quoted(name) + ", " + Quoted(value) + ")";
}

inline const std::string kAccept = HeaderLine("Accept", "*/*");
inline const std::string kAcceptLanguage = HeaderLine("Accept-Language", "zh-cn");
inline const std::string kReferer = HeaderLine("Referer", kUrl);
inline const std::string kUserAgent =
    HeaderLine("User-Agent", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
inline const std::string kContentType =
    HeaderLine("Content-Type", "application/x-www-form-urlencoded");
inline const std::string kOpenGet = "call #1.Open(\"GET\", \"" + std::string(kUrl) + "\", false)";
inline const std::string kSend = "call #1.Send()";

class HttpRequestFakeTest : public ::testing::Test {
  protected:
    // The calls logged, each object's label written as "#1": these tests
    // use one request object at a time.
    Lines Calls() const {
        Lines calls;
        const std::regex label("^(call|get|put) #[0-9]+\\.");
        for (const std::string& line : fake_.Lines()) {
            if (std::regex_search(line, label)) {
                calls.push_back(std::regex_replace(line, label, "$1 #1."));
            }
        }
        return calls;
    }
    void ClearLog() { fake_.Log()->Clear(); }

    std::function<InvokeOutcome(const FakeCall&)> respond_;
    ScopedFake fake_{kProgId, RequestMembers(), [this](const FakeCall& call) {
                         return respond_ ? respond_(call) : InvokeOutcome::Nothing();
                     }};
    ScopedCoInit init_;
};

}  // namespace tralvex::request_fake
