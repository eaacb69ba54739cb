#include "platform/winhttp/response_stream.hpp"

#include <algorithm>

#include "automation/conversions.hpp"
#include "platform/winhttp/winhttp_errors.hpp"

namespace tralvex::winhttp {
namespace {

using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::Variant;

const automation::DispatchTable<ResponseStream>& Table() {
    static const automation::DispatchTable<ResponseStream> table{
        {"Read", InvokeKind::Method, 1, &ResponseStream::Read},
    };
    return table;
}

}  // namespace

const automation::TypeInfo* ResponseStream::GetTypeInfo() const { return &Table().GetTypeInfo(); }

InvokeOutcome ResponseStream::Invoke(automation::DispId id, InvokeKind kind,
                                     std::span<const Variant> args) {
    return Table().Invoke(*this, id, kind, args);
}

InvokeOutcome ResponseStream::Read(std::span<const Variant> args) {
    std::size_t left = body_->size() - position_;
    std::size_t count = left;
    const Variant& countArg = automation::ArgAt(args, 0);
    if (!countArg.IsAbsent()) {
        std::optional<std::int32_t> asked = automation::ToInt32(countArg);
        if (!asked) return InvokeOutcome::Fail(automation::kDispTypeMismatch);
        if (*asked < 0) return RaiseError(automation::kInvalidArg);
        count = std::min(left, static_cast<std::size_t>(*asked));
    }
    auto first = body_->begin() + static_cast<std::ptrdiff_t>(position_);
    automation::ByteArray piece{Bytes(first, first + static_cast<std::ptrdiff_t>(count)), 0};
    position_ += count;
    return InvokeOutcome::Value(Variant(std::move(piece)));
}

}  // namespace tralvex::winhttp
