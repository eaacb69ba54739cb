#pragma once

// Outcome codes of calls into components, with the values the platform's
// automation objects use, so that components can report what theirs do.

#include <cstdint>

namespace tralvex::automation {

using HResult = std::int32_t;

constexpr HResult MakeHResult(std::uint32_t value) { return static_cast<HResult>(value); }

constexpr HResult kOk = 0;
constexpr HResult kFalse = 1;
constexpr HResult kNotImplemented = MakeHResult(0x80004001);
constexpr HResult kNoInterface = MakeHResult(0x80004002);
constexpr HResult kPointer = MakeHResult(0x80004003);
constexpr HResult kFail = MakeHResult(0x80004005);
constexpr HResult kInvalidArg = MakeHResult(0x80070057);
constexpr HResult kOutOfMemory = MakeHResult(0x8007000E);

constexpr HResult kNotInitialized = MakeHResult(0x800401F0);  // CO_E_NOTINITIALIZED
constexpr HResult kClassString = MakeHResult(0x800401F3);     // CO_E_CLASSSTRING

constexpr HResult kDispUnknownInterface = MakeHResult(0x80020001);
constexpr HResult kDispMemberNotFound = MakeHResult(0x80020003);
constexpr HResult kDispParamNotFound = MakeHResult(0x80020004);
constexpr HResult kDispTypeMismatch = MakeHResult(0x80020005);
constexpr HResult kDispUnknownName = MakeHResult(0x80020006);
constexpr HResult kDispNoNamedArgs = MakeHResult(0x80020007);
constexpr HResult kDispBadVarType = MakeHResult(0x80020008);
constexpr HResult kDispException = MakeHResult(0x80020009);
constexpr HResult kDispOverflow = MakeHResult(0x8002000A);
constexpr HResult kDispBadIndex = MakeHResult(0x8002000B);
constexpr HResult kDispBadParamCount = MakeHResult(0x8002000E);
constexpr HResult kDispParamNotOptional = MakeHResult(0x8002000F);

constexpr bool Failed(HResult hr) { return hr < 0; }

}  // namespace tralvex::automation
