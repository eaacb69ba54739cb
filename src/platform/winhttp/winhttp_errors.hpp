#pragma once

// The outcome codes the HTTP request object reports, with the values and the
// message texts of the platform's WinHTTP, so that callers see the same codes.

#include <string>

#include "automation/dispatch.hpp"
#include "automation/hresult.hpp"

namespace tralvex::winhttp {

using automation::HResult;
using automation::MakeHResult;

constexpr HResult kTimeout = MakeHResult(0x80072EE2);
constexpr HResult kInternalError = MakeHResult(0x80072EE4);
constexpr HResult kInvalidUrl = MakeHResult(0x80072EE5);
constexpr HResult kUnrecognizedScheme = MakeHResult(0x80072EE6);
constexpr HResult kNameNotResolved = MakeHResult(0x80072EE7);
constexpr HResult kOperationCancelled = MakeHResult(0x80072EF1);
constexpr HResult kCannotConnect = MakeHResult(0x80072EFD);
constexpr HResult kConnectionError = MakeHResult(0x80072EFE);
constexpr HResult kCannotCallBeforeOpen = MakeHResult(0x80072F44);
constexpr HResult kCannotCallBeforeSend = MakeHResult(0x80072F45);
constexpr HResult kCannotCallAfterSend = MakeHResult(0x80072F46);
constexpr HResult kHeaderNotFound = MakeHResult(0x80072F76);
constexpr HResult kInvalidServerResponse = MakeHResult(0x80072F78);
constexpr HResult kRedirectFailed = MakeHResult(0x80072F7C);
constexpr HResult kSecureFailure = MakeHResult(0x80072F8F);
constexpr HResult kHeaderSizeOverflow = MakeHResult(0x80072F97);
constexpr HResult kCertificateNotFound = MakeHResult(0x80092004);  // CRYPT_E_NOT_FOUND

// The platform's message for a code, in English as on the platform.
std::u16string ErrorMessage(HResult code);

// The outcome of a member that raised `code`, with its message.
automation::InvokeOutcome RaiseError(HResult code);

}  // namespace tralvex::winhttp
