#include "support/fake_component.hpp"

#include <cstdio>

#include "automation/conversions.hpp"
#include "platform/codepage/codepage.hpp"

namespace tralvex::testing {

using automation::InvokeKind;
using automation::InvokeOutcome;
using automation::Variant;

std::string Describe(const Variant& value) {
    switch (value.GetKind()) {
        case Variant::Kind::Empty:
            return "empty";
        case Variant::Kind::Missing:
            return "missing";
        case Variant::Kind::Bool:
            return *value.GetIf<bool>() ? "true" : "false";
        case Variant::Kind::Int32:
            return std::to_string(*value.GetIf<std::int32_t>());
        case Variant::Kind::Real: {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.17g", *value.GetIf<double>());
            return buffer;
        }
        case Variant::Kind::Text:
            return "\"" + Utf16ToUtf8(*value.GetIf<std::u16string>()) + "\"";
        case Variant::Kind::Bytes:
            return "bytes[" + std::to_string(value.GetIf<automation::ByteArray>()->data.size()) +
                   "]";
        case Variant::Kind::Object:
            return "object";
    }
    return "?";
}

namespace {

std::string KindWord(InvokeKind kind) {
    switch (kind) {
        case InvokeKind::Method:
            return "call";
        case InvokeKind::PropertyGet:
            return "get";
        case InvokeKind::PropertyPut:
            return "put";
    }
    return "?";
}

}  // namespace

FakeComponent::FakeComponent(std::shared_ptr<CallLog> log, std::string label,
                             const std::vector<FakeMember>& members, FakeResponder responder)
    : log_(std::move(log)), label_(std::move(label)), responder_(std::move(responder)) {
    for (const FakeMember& member : members) {
        auto id = static_cast<automation::DispId>(names_.size() + 1);
        names_.push_back(member.name);
        std::u16string name = AnsiToUtf16(member.name);
        if (member.get) info_.Add({name, id, InvokeKind::PropertyGet, member.maxArgs});
        if (member.put) info_.Add({name, id, InvokeKind::PropertyPut, member.maxArgs});
        if (member.method) info_.Add({name, id, InvokeKind::Method, member.maxArgs});
    }
    log_->Add("create " + label_);
}

FakeComponent::~FakeComponent() { log_->Add("release " + label_); }

InvokeOutcome FakeComponent::Invoke(automation::DispId id, InvokeKind kind,
                                    std::span<const Variant> args) {
    if (id < 1 || static_cast<std::size_t>(id) > names_.size() || !info_.Find(id, kind)) {
        return InvokeOutcome::Fail(automation::kDispMemberNotFound);
    }
    FakeCall call{label_, names_[static_cast<std::size_t>(id - 1)], kind,
                  std::vector<Variant>(args.begin(), args.end())};
    std::string line = KindWord(kind) + " " + label_ + "." + call.name + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) line += ", ";
        line += Describe(args[i]);
    }
    log_->Add(line + ")");
    return responder_ ? responder_(call) : InvokeOutcome::Nothing();
}

ScopedFake::ScopedFake(std::string progId, std::vector<FakeMember> members, FakeResponder responder)
    : registration_(progId,
                    [log = log_, fail = failCreation_, members = std::move(members),
                     responder = std::move(responder),
                     count = std::make_shared<int>(0)]() -> std::shared_ptr<automation::Unknown> {
                        if (*fail) return nullptr;
                        return std::make_shared<FakeComponent>(log, "#" + std::to_string(++*count),
                                                               members, responder);
                    }) {}

}  // namespace tralvex::testing
