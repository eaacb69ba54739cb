// HttpRequest's GetCookie and GetAllCookies over any response header text,
// given by a small request object that answers GetAllResponseHeaders with it.
// A cookie value never runs into another header line, and stands in the
// headers right after its Set-Cookie marker and name, before a ";".
//
// Input: the cookie name (a FuzzedDataProvider string), then the headers.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "automation/dispatch.hpp"
#include "automation/registry.hpp"
#include "http/http_request.hpp"
#include "platform/codepage/codepage.hpp"

namespace {

using tralvex::Text;
namespace automation = tralvex::automation;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "cookies fuzzer: %s\n", what);
    std::abort();
}

// The headers of the current input, as the request object hands them out.
std::u16string headersGiven;

class HeadersObject : public automation::Dispatch {
  public:
    const automation::TypeInfo* GetTypeInfo() const override { return &Table().GetTypeInfo(); }
    automation::InvokeOutcome Invoke(automation::DispId id, automation::InvokeKind kind,
                                     std::span<const automation::Variant> args) override {
        return Table().Invoke(*this, id, kind, args);
    }

  private:
    static const automation::DispatchTable<HeadersObject>& Table() {
        static const automation::DispatchTable<HeadersObject> table{
            {"GetAllResponseHeaders", automation::InvokeKind::Method, 0,
             &HeadersObject::AllHeaders},
        };
        return table;
    }
    automation::InvokeOutcome AllHeaders(std::span<const automation::Variant>) {
        return automation::InvokeOutcome::Value(automation::Variant(headersGiven));
    }
};

bool HasLineBreak(const Text& text) { return text.find_first_of("\r\n") != Text::npos; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    automation::RegisterComponent("WinHttp.WinHttpRequest.5.1",
                                  [] { return std::make_shared<HeadersObject>(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const Text name = input.ConsumeRandomLengthString(32);
    headersGiven = tralvex::AnsiToUtf16(input.ConsumeRemainingBytesAsString());
    // What the class reads back through the call layer.
    const Text headers = tralvex::Utf16ToAnsi(headersGiven);

    tralvex::HttpRequest request;
    const Text cookie = request.GetCookie(name);
    if (!cookie.empty()) {
        if (HasLineBreak(cookie)) Fail("a cookie value runs into another header line");
        if (headers.find("Set-Cookie: " + name + "=" + cookie + ";") == Text::npos &&
            headers.find("Set-Cookie:" + name + "=" + cookie + ";") == Text::npos) {
            Fail("a cookie value that is not in the headers");
        }
    }
    const Text all = request.GetAllCookies();
    if (HasLineBreak(all)) Fail("the cookies run into another header line");
    return 0;
}
