#include "main_window/key_filter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace palvane {

KeyFilter::KeyFilter(QObject* watched) : QObject(watched) {
    watched->installEventFilter(this);
}

QChar KeyFilter::typedCharacter(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Insert:
    // Tab and Shift+Tab move the focus on; they never reach the box as a character.
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return {};
    case Qt::Key_Backspace:
        // Ctrl+Backspace types the DEL character on the classic desktop.
        return event->modifiers() & Qt::ControlModifier ? QChar(127) : QChar(8);
    default:
        break;
    }
    const QString text = event->text();
    return text.isEmpty() ? QChar() : text.at(0);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        emit keyDown(key->key());
        const QChar c = typedCharacter(key);
        if (!c.isNull())
            emit keyPress(c);
    } else if (event->type() == QEvent::InputMethod) {
        // Characters composed by an input method (dead keys, compose sequences) arrive without
        // a key event of their own; each is a typed character all the same.
        const QString committed = static_cast<QInputMethodEvent*>(event)->commitString();
        for (const QChar c : committed)
            emit keyPress(c);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace palvane
