#pragma once
// A spin box for whole numbers that lets any text stand while it has the focus, as the
// offset box needs: its value is its text read as a whole number (a text that is not one
// reads as the minimum); typed values outside the range stand until the box loses the focus,
// when the nearer bound replaces them (a text that is not a number becomes the minimum); a
// whole number within the range stays as typed ("05", "+5").
// Arrows, Up/Down, Page Up/Down and the wheel step from that value and stop at the bounds; a
// step from a value beyond the range gives the nearer bound.
//
// Typed characters: digits, "+", "-", the locale's decimal separator and control characters
// other than Enter (Backspace, DEL, Escape, ...) are accepted; any other character, Enter
// included, is refused with a beep and never reaches the text.
//
// Qt rewrites the inner line edit's text with its signals blocked (focus-out, setValue(),
// steps, showing, locale changes), so changed() does not rely on valueChanged: the box keeps
// the last text it reported and compares after each of those operations. changed() fires
// exactly once for every change of the text and never when the text stayed the same.

#include <QChar>
#include <QSpinBox>
#include <QString>

#include <optional>

class QInputMethodEvent;

namespace palvane {

class SpinEdit : public QSpinBox {
    Q_OBJECT

public:
    explicit SpinEdit(QWidget* parent = nullptr);

    // The value the text stands for, unclamped while focused; non-numbers give minimum().
    // A number too large for an int reads as the nearest int.
    int Value() const;
    // Sets the value clamped to the range; emits changed() when the text changes.
    void setValueClamped(int value);

    // A whole number: optional blanks around an optional sign and ASCII digits.
    static std::optional<int> parseWholeNumber(const QString& text);

public slots:
    // Hides QSpinBox::setValue so that program code setting the value always reports the
    // change of the text (the same as setValueClamped()).
    void setValue(int value) { setValueClamped(value); }

signals:
    // Every change of the text: typed, stepped or set by the program.
    void changed();
    // A character key the box accepted (Backspace counts, arrows do not), before the box
    // applies it.
    void characterKeyPressed(QChar key);
    // A character the box refused (after the beep); the text is left as it was.
    void keyRefused(QChar key);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    QString textFromValue(int value) const override;
    void fixup(QString& input) const override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;

private:
    bool acceptsCharacter(QChar c) const;
    void refuse(QChar c);
    void filterComposedText(QInputMethodEvent* event);
    // Puts back a text that Qt replaced with its signals blocked, as silently.
    void restoreSilently(const QString& text);
    // The value a step of steps from the current value gives, within the range.
    int steppedValue(int steps) const;
    void noteText();
    QString lastText_;
};

} // namespace palvane
