#include "automation/dispatch.hpp"

namespace tralvex::automation {
namespace {

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

void TypeInfo::Add(MemberDesc member) { members_.push_back(std::move(member)); }

DispId TypeInfo::FindId(std::u16string_view name) const {
    for (const MemberDesc& member : members_) {
        if (SameName(member.name, name)) return member.id;
    }
    return -1;
}

const MemberDesc* TypeInfo::Find(DispId id, InvokeKind kind) const {
    for (const MemberDesc& member : members_) {
        if (member.id == id && member.kind == kind) return &member;
    }
    return nullptr;
}

}  // namespace tralvex::automation
