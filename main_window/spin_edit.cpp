#include "main_window/spin_edit.h"

#include <QApplication>
#include <QEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>

namespace palvane {

SpinEdit::SpinEdit(QWidget* parent) : QSpinBox(parent) {
    QSpinBox::setRange(-24, 24);
    QSpinBox::setSingleStep(1);
    QSpinBox::setValue(0);
    lastText_ = lineEdit()->text();
    // Typed changes arrive here; valueChanged covers Qt's own rewrites that change the value.
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::noteText);
    connect(this, &QSpinBox::valueChanged, this, &SpinEdit::noteText);
}

std::optional<int> SpinEdit::parseWholeNumber(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('+') || t.at(i) == QLatin1Char('-'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == t.size())
        return std::nullopt; // empty or a lone sign
    long long magnitude = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        // Saturate: a long run of digits still means "beyond the bound" on its side.
        magnitude =
            std::min(magnitude * 10 + (c.unicode() - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    const long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

int SpinEdit::Value() const {
    return parseWholeNumber(lineEdit()->text()).value_or(minimum());
}

void SpinEdit::setValueClamped(int value) {
    const int clamped = std::clamp(value, minimum(), maximum());
    QSpinBox::setValue(clamped);
    // Qt leaves the text alone when it believes the box was cleared; make sure it stands.
    const QString text = textFromValue(clamped);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
    noteText();
}

QValidator::State SpinEdit::validate(QString& input, int& pos) const {
    Q_UNUSED(input);
    Q_UNUSED(pos);
    // Any text may stand while the box has the focus; the key filter decides what is typed.
    return QValidator::Acceptable;
}

int SpinEdit::valueFromText(const QString& text) const {
    return parseWholeNumber(text).value_or(minimum());
}

QString SpinEdit::textFromValue(int value) const {
    // Plain ASCII digits and "-", whatever the locale, so that the text reads back.
    return QString::number(value);
}

void SpinEdit::fixup(QString& input) const {
    input = textFromValue(std::clamp(valueFromText(input), minimum(), maximum()));
}

bool SpinEdit::event(QEvent* event) {
    if (event->type() == QEvent::DeferredDelete)
        return QSpinBox::event(event); // the box is gone afterwards
    if (event->type() == QEvent::Show || event->type() == QEvent::LocaleChange) {
        // Qt re-renders its value into the text here; the text never depends on the locale,
        // so whatever stands (a value typed as "05" or "+5") stays.
        const QString before = lineEdit()->text();
        const bool handled = QSpinBox::event(event);
        restoreSilently(before);
        return handled;
    }
    if (event->type() == QEvent::InputMethod)
        filterComposedText(static_cast<QInputMethodEvent*>(event)); // Qt hands it on directly
    const bool handled = QSpinBox::event(event);
    noteText();
    return handled;
}

bool SpinEdit::acceptsCharacter(QChar c) const {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    if (c == QLatin1Char('+') || c == QLatin1Char('-'))
        return true;
    if (QString(c) == locale().decimalPoint())
        return true;
    const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f;
    return control && c != QLatin1Char('\r');
}

void SpinEdit::refuse(QChar c) {
    QApplication::beep();
    emit keyRefused(c);
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Enter is refused like any other character; Qt would otherwise settle the text.
        refuse(QLatin1Char('\r'));
        event->accept();
        return;
    }
    const QString text = event->text();
    // Keys without a character (arrows, Home, the Delete key) go to the box unfiltered.
    if (text.isEmpty() || key == Qt::Key_Delete) {
        QSpinBox::keyPressEvent(event);
        return;
    }
    for (const QChar c : text) {
        if (!acceptsCharacter(c)) {
            refuse(c);
            event->accept();
            return;
        }
    }
    for (const QChar c : text)
        emit characterKeyPressed(c);
    QSpinBox::keyPressEvent(event);
}

void SpinEdit::filterComposedText(QInputMethodEvent* event) {
    // Text composed by an input method obeys the same rule as typed characters.
    const QString commit = event->commitString();
    if (commit.isEmpty())
        return;
    QString kept;
    for (const QChar c : commit) {
        if (acceptsCharacter(c))
            kept += c;
        else
            refuse(c);
    }
    for (const QChar c : kept)
        emit characterKeyPressed(c);
    if (kept != commit)
        event->setCommitString(kept, event->replacementStart(), event->replacementLength());
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    // A whole number within the range stays as typed; one outside becomes the nearer bound,
    // a text that is no number the minimum it reads as.
    const QString typed = lineEdit()->text();
    const std::optional<int> number = parseWholeNumber(typed);
    const bool inRange = number && *number >= minimum() && *number <= maximum();
    const QString settled =
        inRange ? typed : textFromValue(std::clamp(Value(), minimum(), maximum()));
    if (typed != settled)
        lineEdit()->setText(settled);
    QSpinBox::focusOutEvent(event);
    restoreSilently(settled);
    noteText();
}

int SpinEdit::steppedValue(int steps) const {
    const long long target =
        static_cast<long long>(Value()) + static_cast<long long>(steps) * singleStep();
    return static_cast<int>(std::clamp<long long>(target, minimum(), maximum()));
}

void SpinEdit::stepBy(int steps) {
    setValueClamped(steppedValue(steps));
    selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    if (isReadOnly())
        return StepNone;
    // A step is possible wherever it changes the text: towards a bound not reached yet, and
    // from a value beyond the range, which the step brings back to the nearer bound.
    const QString text = lineEdit()->text();
    StepEnabled enabled = StepNone;
    if (textFromValue(steppedValue(1)) != text)
        enabled |= StepUpEnabled;
    if (textFromValue(steppedValue(-1)) != text)
        enabled |= StepDownEnabled;
    return enabled;
}

void SpinEdit::restoreSilently(const QString& text) {
    if (lineEdit()->text() == text)
        return;
    const QSignalBlocker blocker(lineEdit());
    lineEdit()->setText(text);
}

void SpinEdit::noteText() {
    const QString text = lineEdit()->text();
    if (text == lastText_)
        return;
    lastText_ = text;
    emit changed();
}

} // namespace palvane
