#include "tests/ui/key_input.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

// Qt's own entry for a key press that may be a shortcut; the window system's
// input and Qt's test library go through it.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace vxe::test {
namespace {

void Click(QWidget* widget, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    if (qt_sendShortcutOverrideEvent(widget, press.timestamp(), key, modifiers, text, false, 1)) return;
    QPointer<QWidget> alive(widget);
    QApplication::sendEvent(widget, &press);
    if (!alive) return;  // Return may close what it was typed into
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

// The text a key types without modifiers, as a keyboard gives it.
QString TypedText(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) return {};
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(key);
        return modifiers & Qt::ShiftModifier ? QString(letter) : QString(letter.toLower());
    }
    if (key >= Qt::Key_Space && key < Qt::Key_A) return QString(QChar(key));
    if (key == Qt::Key_Return) return QStringLiteral("\r");
    if (key == Qt::Key_Backspace) return QStringLiteral("\b");
    return {};
}

}  // namespace

void KeyClick(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    Click(widget, key, modifiers, TypedText(key, modifiers));
}

void KeyClicks(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const int key = c.isLetter() ? c.toUpper().unicode() : c.unicode();
        Click(widget, key, c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
    }
}

}  // namespace vxe::test
