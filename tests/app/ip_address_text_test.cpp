#include "app/ip_address_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tralvex {
namespace {

constexpr std::optional<int> kBlank = std::nullopt;
const AddressFields kAllBlank = {kBlank, kBlank, kBlank, kBlank};

struct AddressCase {
    std::string written;
    AddressFields fields;
    // What the box then reads as text.
    std::string readBack;
};

TEST(AddressTextTest, TextWrittenIntoTheFieldsAndReadBack) {
    const std::vector<AddressCase> cases = {
        {"192.168.1.1", {192, 168, 1, 1}, "192.168.1.1"},
        {"0.0.0.0", {0, 0, 0, 0}, "0.0.0.0"},
        {"255.255.255.255", {255, 255, 255, 255}, "255.255.255.255"},
        {"300.1.1.1", kAllBlank, ""},
        {"1.2.3.256", kAllBlank, ""},
        {"-1.2.3.4", kAllBlank, ""},
        {"", kAllBlank, ""},
        {"1", kAllBlank, ""},
        {"1.2.3", kAllBlank, ""},
        {"a.b.c.d", {0, 0, 0, 0}, "0.0.0.0"},
        {"...", {0, 0, 0, 0}, "0.0.0.0"},
        {"1..3.4", {1, 0, 3, 4}, "1.0.3.4"},
        {"1.2.3.", {1, 2, 3, 0}, "1.2.3.0"},
        {"1.2.3.4.5", {1, 2, 3, 4}, "1.2.3.4"},
        {"1.2.3.4abc", {1, 2, 3, 4}, "1.2.3.4"},
        {"12x.1y.2.3", {12, 1, 2, 3}, "12.1.2.3"},
        {"01.002.0003.4", {1, 2, 3, 4}, "1.2.3.4"},
        {"+1.+2.3.4", {1, 2, 3, 4}, "1.2.3.4"},
        {"-0.0.0.0", {0, 0, 0, 0}, "0.0.0.0"},
        {"- 5.1.1.1", {0, 1, 1, 1}, "0.1.1.1"},
        {"  10.0.0.1  ", {10, 0, 0, 1}, "10.0.0.1"},
        {" 1 . 2 . 3 . 4 ", {1, 2, 3, 4}, "1.2.3.4"},
        // Full-width blanks (A1 A1) count as blanks too.
        {"\xA1\xA1"
         "1.2.3.4\xA1\xA1",
         {1, 2, 3, 4},
         "1.2.3.4"},
        // Long digit runs stay out of range rather than wrap into it.
        {"4294967297.1.1.1", kAllBlank, ""},
        {"1.2.3.99999999999999999999", kAllBlank, ""},
        {"1 2.3.4.5", {1, 3, 4, 5}, "1.3.4.5"},
    };
    for (const AddressCase& c : cases) {
        const AddressFields fields = AddressTextToFields(c.written);
        EXPECT_EQ(fields, c.fields) << "written: [" << c.written << "]";
        EXPECT_EQ(AddressFieldsToText(fields), c.readBack) << "written: [" << c.written << "]";
    }
}

struct ReadCase {
    AddressFields fields;
    std::string text;
};

TEST(AddressTextTest, BlankFieldsReadAsZeroUnlessAllAreBlank) {
    const std::vector<ReadCase> cases = {
        {kAllBlank, ""},
        {{192, kBlank, kBlank, kBlank}, "192.0.0.0"},
        {{kBlank, kBlank, kBlank, 0}, "0.0.0.0"},
        {{kBlank, 10, kBlank, 7}, "0.10.0.7"},
    };
    for (const ReadCase& c : cases) EXPECT_EQ(AddressFieldsToText(c.fields), c.text);
}

}  // namespace
}  // namespace tralvex
