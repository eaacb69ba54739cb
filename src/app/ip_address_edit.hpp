#pragma once

// An IPv4 address box: four numeric fields of 0 to 255 in one frame, typed
// into like the platform's address control.

#include <QLineEdit>
#include <QWidget>
#include <array>
#include <string_view>

#include "app/ip_address_text.hpp"

namespace tralvex {

// One of the four fields: digits only, at most three, never above 255. It asks
// its box to move on or back; the box decides where the focus goes.
class IpAddressField : public QLineEdit {
    Q_OBJECT
  public:
    explicit IpAddressField(QWidget* parent);

  signals:
    // With `selectAll` the next field is entered with its text selected, so
    // typing replaces it; otherwise with the caret at its start.
    void nextFieldWanted(bool selectAll);
    // Backspace at the start also takes the last digit of the field before.
    void previousFieldWanted(bool removeLastDigit);
    void focusChanged();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    bool MovesToAnotherField(const QKeyEvent* event);
    void ClampToFieldRange();

    bool clampedInLastEdit_ = false;
};

class IpAddressEdit : public QWidget {
    Q_OBJECT
  public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    AddressFields fields() const;
    void setFields(const AddressFields& fields);

    // The address read and written as text, by the rules of AddressFieldsToText
    // and AddressTextToFields.
    Text addressText() const;
    void setAddressText(std::string_view text);

    QLineEdit* field(int index) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void FocusNext(int from, bool selectAll);
    void FocusPrevious(int from, bool removeLastDigit);

    std::array<IpAddressField*, 4> fields_{};
};

}  // namespace tralvex
