#include "app/ip_address_edit.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <string>
#include <vector>

namespace tralvex {
namespace {

constexpr std::optional<int> kBlank = std::nullopt;

class IpAddressEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        edit_.resize(122, 24);
        edit_.show();
        edit_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&edit_));
        edit_.field(0)->setFocus();
        ASSERT_EQ(FocusedField(), 0);
    }

    // Each key goes where the focus is at that moment, as a user's would.
    void Type(const std::string& keys) {
        for (char key : keys) QTest::keyClick(QApplication::focusWidget(), key);
    }
    void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

    int FocusedField() const {
        for (int i = 0; i < 4; ++i) {
            if (edit_.field(i)->hasFocus()) return i;
        }
        return -1;
    }

    IpAddressEdit edit_;
};

struct TypingCase {
    std::string keys;
    AddressFields fields;
    int focusedField;
};

TEST_F(IpAddressEditTest, TypingFillsTheFieldsAndMovesOn) {
    const std::vector<TypingCase> cases = {
        {"192168", {192, 168, kBlank, kBlank}, 2},
        // After a third digit the focus is already on: "." in an empty field
        // stays there instead of skipping one.
        {"192.168.1.1", {192, 168, 1, 1}, 3},
        {"10.0.0.1", {10, 0, 0, 1}, 3},
        {" 5 6", {5, 6, kBlank, kBlank}, 1},
        {".1", {1, kBlank, kBlank, kBlank}, 0},
        {"1a2b-", {12, kBlank, kBlank, kBlank}, 0},
        {"1234", {123, 4, kBlank, kBlank}, 1},
        // Over 255 the field shows 255 and keeps the focus.
        {"300", {255, kBlank, kBlank, kBlank}, 0},
        {"3001", {255, kBlank, kBlank, kBlank}, 0},
        {"256.1", {255, 1, kBlank, kBlank}, 1},
        {"1.2.3.4.5", {1, 2, 3, 45}, 3},
    };
    for (const TypingCase& c : cases) {
        edit_.setFields({});
        edit_.field(0)->setFocus();
        Type(c.keys);
        EXPECT_EQ(edit_.fields(), c.fields) << c.keys;
        EXPECT_EQ(FocusedField(), c.focusedField) << c.keys;
    }
}

TEST_F(IpAddressEditTest, TypedAddressReadsAsText) {
    EXPECT_EQ(edit_.addressText(), "");
    Type("192");
    EXPECT_EQ(edit_.addressText(), "192.0.0.0");
    Type("168.1.1");
    EXPECT_EQ(edit_.addressText(), "192.168.1.1");
}

TEST_F(IpAddressEditTest, BackspaceAtTheStartTakesTheLastDigitOfTheFieldBefore) {
    Type("192");
    ASSERT_EQ(FocusedField(), 1);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(FocusedField(), 0);
    EXPECT_EQ(edit_.field(0)->text(), "19");
    Press(Qt::Key_Backspace);
    EXPECT_EQ(edit_.field(0)->text(), "1");
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Backspace);
    EXPECT_EQ(FocusedField(), 0) << "nothing before the first field";
    EXPECT_EQ(edit_.fields(), AddressFields{});
}

TEST_F(IpAddressEditTest, ArrowsCrossIntoTheNextFieldAtItsEdges) {
    Type("1.23");
    ASSERT_EQ(FocusedField(), 1);
    Press(Qt::Key_Left);
    Press(Qt::Key_Left);
    EXPECT_EQ(FocusedField(), 1) << "the caret walks inside the field first";
    Press(Qt::Key_Left);
    EXPECT_EQ(FocusedField(), 0);
    Press(Qt::Key_Right);
    EXPECT_EQ(FocusedField(), 1);
    EXPECT_EQ(edit_.field(1)->cursorPosition(), 0);
}

TEST_F(IpAddressEditTest, MovingOnSelectsTheNextFieldSoTypingReplacesIt) {
    edit_.setAddressText("1.2.3.4");
    edit_.field(0)->selectAll();
    Type("1005");
    EXPECT_EQ(edit_.fields(), (AddressFields{100, 5, 3, 4}));
}

TEST_F(IpAddressEditTest, WritingTextFillsOrBlanksAllFields) {
    edit_.setAddressText(" 192.168.1.1 ");
    EXPECT_EQ(edit_.fields(), (AddressFields{192, 168, 1, 1}));
    EXPECT_EQ(edit_.field(1)->text(), "168");
    edit_.setAddressText("300.1.1.1");
    EXPECT_EQ(edit_.fields(), AddressFields{});
    EXPECT_EQ(edit_.addressText(), "");
}

}  // namespace
}  // namespace tralvex
