// The text rules of the IPv4 address box over any text: the fields read are
// all blank or all in 0..255, and the text they give reads back as the same
// fields; and any four fields give a text that reads back as them.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ip_address_text.hpp"

namespace {

using tralvex::AddressFields;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "address text fuzzer: %s\n", what);
    std::abort();
}

bool AllBlank(const AddressFields& fields) {
    for (const auto& field : fields) {
        if (field) return false;
    }
    return true;
}

// Four numbers of one to three digits joined by dots.
bool IsDottedQuad(const std::string& text) {
    int dots = 0;
    int digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0) return false;
            ++dots;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
        } else {
            return false;
        }
    }
    return dots == 3 && digits > 0;
}

void CheckTextOf(const AddressFields& fields) {
    const tralvex::Text text = tralvex::AddressFieldsToText(fields);
    if (AllBlank(fields)) {
        if (!text.empty()) Fail("blank fields gave a text");
        return;
    }
    if (!IsDottedQuad(text)) Fail("fields gave no dotted quad");
    AddressFields back = tralvex::AddressTextToFields(text);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (back[i] != fields[i].value_or(0)) Fail("a text did not read back as its fields");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    AddressFields given;
    for (auto& field : given) {
        if (input.ConsumeBool()) field = input.ConsumeIntegralInRange(0, 255);
    }
    CheckTextOf(given);

    const std::string text = input.ConsumeRemainingBytesAsString();
    AddressFields read = tralvex::AddressTextToFields(text);
    bool blank = AllBlank(read);
    for (const auto& field : read) {
        if (blank != !field) Fail("some fields blank and others not");
        if (field && (*field < 0 || *field > 255)) Fail("a field out of range");
    }
    CheckTextOf(read);
    return 0;
}
