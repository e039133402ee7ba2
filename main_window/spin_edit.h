#pragma once
// A spin box for whole numbers that lets any text stand while it has the focus, as the
// offset box needs: its value is its text read as a whole number (a text that is not one
// reads as the minimum); typed values outside the range stand until the box loses the focus,
// when the nearer bound replaces them. Arrows and Up/Down step by one within the range.

#include <QChar>
#include <QSpinBox>

namespace palvane {

class SpinEdit : public QSpinBox {
    Q_OBJECT

public:
    explicit SpinEdit(QWidget* parent = nullptr);

    // The value the text stands for, unclamped while focused; non-numbers give minimum().
    int Value() const;
    // Sets the value clamped to the range; emits changed() when the text changes.
    void setValueClamped(int value);

signals:
    // Every change of the text: typed, stepped or set by the program.
    void changed();
    // A character key the box accepted (Backspace counts, arrows do not).
    void characterKeyPressed(QChar key);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;

private:
    void noteText();
    QString lastText_;
};

} // namespace palvane
