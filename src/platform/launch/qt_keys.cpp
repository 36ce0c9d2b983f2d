#include "platform/launch/qt_keys.h"

namespace mail::launch {

std::string key_name(int qt_key, const QString& text) {
    switch (qt_key) {
        case Qt::Key_Up: return "ArrowUp";
        case Qt::Key_Down: return "ArrowDown";
        case Qt::Key_Left: return "ArrowLeft";
        case Qt::Key_Right: return "ArrowRight";
        case Qt::Key_Return:
        case Qt::Key_Enter: return "Enter";
        case Qt::Key_Escape: return "Escape";
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return "Tab";
        case Qt::Key_Backspace: return "Backspace";
        case Qt::Key_Delete: return "Delete";
        case Qt::Key_Insert: return "Insert";
        case Qt::Key_Home: return "Home";
        case Qt::Key_End: return "End";
        case Qt::Key_PageUp: return "PageUp";
        case Qt::Key_PageDown: return "PageDown";
        case Qt::Key_Space: return " ";
        case Qt::Key_Shift: return "Shift";
        case Qt::Key_Control: return "Control";
        case Qt::Key_Alt: return "Alt";
        case Qt::Key_Meta: return "Meta";
        case Qt::Key_CapsLock: return "CapsLock";
        case Qt::Key_Menu: return "ContextMenu";
        default: break;
    }
    if (qt_key >= Qt::Key_F1 && qt_key <= Qt::Key_F35) return "F" + std::to_string(qt_key - Qt::Key_F1 + 1);
    // Printable keys are named by the character they type; with Ctrl held Qt gives a control
    // character as text, so fall back to the key code's letter.
    if (!text.isEmpty() && text.at(0).isPrint()) return text.toStdString();
    if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) return std::string(1, static_cast<char>('a' + (qt_key - Qt::Key_A)));
    if (qt_key >= 0x20 && qt_key < 0x7f) return std::string(1, static_cast<char>(qt_key));
    return "Unidentified";
}

ui::Modifiers modifiers_from(Qt::KeyboardModifiers mods) {
    ui::Modifiers out;
    out.shift = mods.testFlag(Qt::ShiftModifier);
    out.ctrl = mods.testFlag(Qt::ControlModifier);
    out.alt = mods.testFlag(Qt::AltModifier);
    out.meta = mods.testFlag(Qt::MetaModifier);
    return out;
}

}  // namespace mail::launch
