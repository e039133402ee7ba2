#pragma once
// Reports key events of a box as the handlers want them: keyDown for every key going down,
// keyPress for keys that type a character (Backspace and control characters count; Delete,
// arrows, Home, End and the focus keys Tab and Shift+Tab do not, whatever text the platform
// attaches to them) and for each character an input method commits.

#include <QChar>
#include <QObject>

class QKeyEvent;

namespace palvane {

class KeyFilter : public QObject {
    Q_OBJECT

public:
    explicit KeyFilter(QObject* watched);

    // The character a key event types, or a null QChar.
    static QChar typedCharacter(const QKeyEvent* event);

signals:
    void keyDown(int key);
    void keyPress(QChar character);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace palvane
