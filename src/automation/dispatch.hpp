#pragma once

// The late-bound call interface of a component object: a description of its
// members (names matched regardless of ASCII case) and one entry point that
// invokes a member by number.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/hresult.hpp"
#include "automation/variant.hpp"

namespace tralvex::automation {

using DispId = std::int32_t;

enum class InvokeKind : unsigned { Method = 1, PropertyGet = 2, PropertyPut = 4 };

struct MemberDesc {
    std::u16string name;
    DispId id = 0;
    InvokeKind kind = InvokeKind::Method;
    // Most arguments the member takes; for a put this counts the value too.
    int maxArgs = 0;
};

class TypeInfo {
  public:
    void Add(MemberDesc member);
    // The number shared by every member of this name, or -1 when there is none.
    DispId FindId(std::u16string_view name) const;
    const MemberDesc* Find(DispId id, InvokeKind kind) const;

  private:
    std::vector<MemberDesc> members_;
};

// What a call of a member gave: a value, a failure of the call itself (a
// DISP_E_ code), or an error the member raised (`hr` is kDispException and
// `exceptionCode` holds the member's own code).
struct InvokeOutcome {
    HResult hr = kOk;
    Variant result;
    HResult exceptionCode = kOk;
    std::u16string description;

    static InvokeOutcome Value(Variant value) { return {kOk, std::move(value), kOk, {}}; }
    static InvokeOutcome Nothing() { return {}; }
    static InvokeOutcome Fail(HResult hr) { return {hr, {}, kOk, {}}; }
    static InvokeOutcome Raise(HResult code, std::u16string description = {}) {
        return {kDispException, {}, code, std::move(description)};
    }
};

class Dispatch : public Unknown {
  public:
    Dispatch* QueryDispatch() final { return this; }
    // Null when the object carries no description of its members.
    virtual const TypeInfo* GetTypeInfo() const = 0;
    // Arguments in their natural order; for a put the value comes last.
    virtual InvokeOutcome Invoke(DispId id, InvokeKind kind, std::span<const Variant> args) = 0;
};

// The member table of a component class, built once and shared by all its
// objects: each entry binds a name and a kind to a member function.
template <typename Self>
class DispatchTable {
  public:
    using Handler = InvokeOutcome (Self::*)(std::span<const Variant> args);
    struct Entry {
        std::string_view name;
        InvokeKind kind;
        int maxArgs;
        Handler handler;
    };

    DispatchTable(std::initializer_list<Entry> entries) {
        for (const Entry& entry : entries) {
            std::u16string name(entry.name.begin(), entry.name.end());
            DispId id = typeInfo_.FindId(name);
            if (id < 0) id = nextId_++;
            typeInfo_.Add({name, id, entry.kind, entry.maxArgs});
            handlers_.push_back({id, entry.kind, entry.handler});
        }
    }

    const TypeInfo& GetTypeInfo() const { return typeInfo_; }

    InvokeOutcome Invoke(Self& self, DispId id, InvokeKind kind,
                         std::span<const Variant> args) const {
        for (const Bound& bound : handlers_) {
            if (bound.id == id && bound.kind == kind) return (self.*bound.handler)(args);
        }
        return InvokeOutcome::Fail(kDispMemberNotFound);
    }

  private:
    struct Bound {
        DispId id;
        InvokeKind kind;
        Handler handler;
    };
    std::vector<Bound> handlers_;
    TypeInfo typeInfo_;
    DispId nextId_ = 1;
};

// The argument at `index`, or a missing argument when the caller gave fewer.
inline const Variant& ArgAt(std::span<const Variant> args, std::size_t index) {
    static const Variant missing{MissingArgument{}};
    return index < args.size() ? args[index] : missing;
}

}  // namespace tralvex::automation
