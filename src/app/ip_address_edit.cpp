#include "app/ip_address_edit.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyleOptionFrame>

namespace tralvex {
namespace {

constexpr int kFieldMax = 255;
constexpr int kFieldDigits = 3;

}  // namespace

IpAddressField::IpAddressField(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setMaxLength(kFieldDigits);
    setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), this));
    // The box draws the frame and the background behind all four fields.
    QPalette seeThrough = palette();
    seeThrough.setColor(QPalette::Base, Qt::transparent);
    setPalette(seeThrough);
    connect(this, &QLineEdit::textEdited, this, &IpAddressField::ClampToFieldRange);
}

void IpAddressField::ClampToFieldRange() {
    if (text().toInt() > kFieldMax) {
        setText(QString::number(kFieldMax));
        clampedInLastEdit_ = true;
    }
}

// "." and space move on from a field that has digits before the caret; the
// arrows and Backspace cross into the next or previous field at the edges.
bool IpAddressField::MovesToAnotherField(const QKeyEvent* event) {
    const bool atStart = cursorPosition() == 0 && !hasSelectedText();
    const bool atEnd = cursorPosition() == text().size() && !hasSelectedText();
    switch (event->key()) {
        case Qt::Key_Period:
        case Qt::Key_Space:
            if (!text().isEmpty() && cursorPosition() > 0) emit nextFieldWanted(true);
            return true;
        case Qt::Key_Backspace:
            if (!atStart) return false;
            emit previousFieldWanted(true);
            return true;
        case Qt::Key_Left:
            if (!atStart) return false;
            emit previousFieldWanted(false);
            return true;
        case Qt::Key_Right:
            if (!atEnd) return false;
            emit nextFieldWanted(false);
            return true;
        default:
            return false;
    }
}

void IpAddressField::keyPressEvent(QKeyEvent* event) {
    if (MovesToAnotherField(event)) {
        event->accept();
        return;
    }
    const QString before = text();
    clampedInLastEdit_ = false;
    QLineEdit::keyPressEvent(event);
    // A third digit completes the field, unless it went over 255: the field
    // then shows 255 and keeps the focus so the correction is seen.
    const bool completed = text() != before && text().size() == kFieldDigits &&
                           cursorPosition() == kFieldDigits && !clampedInLastEdit_;
    if (completed) emit nextFieldWanted(true);
}

void IpAddressField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit focusChanged();
}

void IpAddressField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit focusChanged();
}

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    for (int i = 0; i < static_cast<int>(fields_.size()); ++i) {
        if (i > 0) layout->addWidget(new QLabel(".", this));
        auto* field = new IpAddressField(this);
        fields_[static_cast<std::size_t>(i)] = field;
        layout->addWidget(field, 1);
        connect(field, &IpAddressField::nextFieldWanted, this,
                [this, i](bool selectAll) { FocusNext(i, selectAll); });
        connect(field, &IpAddressField::previousFieldWanted, this,
                [this, i](bool removeLastDigit) { FocusPrevious(i, removeLastDigit); });
        connect(field, &IpAddressField::focusChanged, this, qOverload<>(&QWidget::update));
    }
    setFocusProxy(fields_[0]);
}

AddressFields IpAddressEdit::fields() const {
    AddressFields values;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (!fields_[i]->text().isEmpty()) values[i] = fields_[i]->text().toInt();
    }
    return values;
}

void IpAddressEdit::setFields(const AddressFields& values) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        fields_[i]->setText(values[i] ? QString::number(*values[i]) : QString());
    }
}

Text IpAddressEdit::addressText() const { return AddressFieldsToText(fields()); }

void IpAddressEdit::setAddressText(std::string_view text) { setFields(AddressTextToFields(text)); }

QLineEdit* IpAddressEdit::field(int index) const {
    return fields_.at(static_cast<std::size_t>(index));
}

void IpAddressEdit::FocusNext(int from, bool selectAll) {
    if (from + 1 >= static_cast<int>(fields_.size())) return;
    IpAddressField* next = fields_[static_cast<std::size_t>(from + 1)];
    next->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        next->selectAll();
    } else {
        next->home(false);
    }
}

void IpAddressEdit::FocusPrevious(int from, bool removeLastDigit) {
    if (from == 0) return;
    IpAddressField* previous = fields_[static_cast<std::size_t>(from - 1)];
    previous->setFocus(Qt::OtherFocusReason);
    previous->end(false);
    if (removeLastDigit) previous->backspace();
}

// Drawn as one line edit, showing focus while any of its fields has it.
void IpAddressEdit::paintEvent(QPaintEvent*) {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    for (const IpAddressField* field : fields_) {
        if (field->hasFocus()) option.state |= QStyle::State_HasFocus;
    }
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
}

}  // namespace tralvex
