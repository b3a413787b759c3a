#include "hexeditor/VirtualKeys.h"

#include "search/Translation.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace {

struct KeyPair {
    int qtKey;
    uint16_t virtualKey;
};

// Keys of the keypad (with Qt::KeypadModifier) that have keys of their own.
constexpr KeyPair KeypadKeys[] = {
    {Qt::Key_Asterisk, VK_MULTIPLY},
    {Qt::Key_Plus, VK_ADD},
    {Qt::Key_Minus, VK_SUBTRACT},
    {Qt::Key_Period, VK_DECIMAL},
    {Qt::Key_Comma, VK_DECIMAL},
    {Qt::Key_Slash, VK_DIVIDE},
};

// Every other key that has a virtual key, but letters, digits and function keys (which
// are ranges). Several Qt keys share a key: the shifted and unshifted symbols of one
// key, and on a US layout the shifted digits, which arrive as their symbols.
constexpr KeyPair Keys[] = {
    {Qt::Key_Backspace, VK_BACK},
    {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Clear, VK_CLEAR},
    {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},
    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},
    {Qt::Key_Alt, VK_MENU},
    {Qt::Key_AltGr, VK_MENU},
    {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL},
    {Qt::Key_Escape, VK_ESCAPE},
    {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},
    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},
    {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},
    {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Select, VK_SELECT},
    {Qt::Key_Print, VK_SNAPSHOT},
    {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},
    {Qt::Key_Help, VK_HELP},
    {Qt::Key_Meta, VK_LWIN},
    {Qt::Key_Menu, VK_APPS},
    {Qt::Key_NumLock, VK_NUMLOCK},
    {Qt::Key_ScrollLock, VK_SCROLL},
    {Qt::Key_Semicolon, VK_OEM_1},
    {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},
    {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Minus, VK_OEM_MINUS},
    {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD},
    {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Slash, VK_OEM_2},
    {Qt::Key_Question, VK_OEM_2},
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'},
};

template <size_t N> uint16_t Lookup(const KeyPair (&table)[N], int qtKey)
{
    for (const KeyPair& pair : table)
        if (pair.qtKey == qtKey)
            return pair.virtualKey;
    return 0;
}

// What the last input events seen by any grid said about the modifiers and buttons.
// The platform's own answer is asked too; this fills in where it lags behind (events
// that were synthesised rather than read from the window system).
Qt::KeyboardModifiers TrackedModifiers;
Qt::MouseButtons TrackedButtons;

constexpr Qt::KeyboardModifiers TrackedModifierMask
    = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

} // namespace

uint16_t VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
            return uint16_t(VK_NUMPAD0 + (qtKey - Qt::Key_0));
        if (uint16_t key = Lookup(KeypadKeys, qtKey))
            return key;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return uint16_t('A' + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return uint16_t('0' + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return uint16_t(VK_F1 + (qtKey - Qt::Key_F1));
    return Lookup(Keys, qtKey);
}

TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState state;
    if (modifiers & Qt::ShiftModifier)
        state.Include(ssShift);
    if (modifiers & Qt::AltModifier)
        state.Include(ssAlt);
    if (modifiers & Qt::ControlModifier)
        state.Include(ssCtrl);
    if (buttons & Qt::LeftButton)
        state.Include(ssLeft);
    if (buttons & Qt::RightButton)
        state.Include(ssRight);
    if (buttons & Qt::MiddleButton)
        state.Include(ssMiddle);
    return state;
}

TShiftState ShiftStateFromKeyEvent(const QKeyEvent& event)
{
    TShiftState state = ShiftStateFromQt(event.modifiers());
    const bool pressed = event.type() == QEvent::KeyPress;
    TShiftStateItem item;
    switch (event.key()) {
    case Qt::Key_Shift:
        item = ssShift;
        break;
    case Qt::Key_Control:
        item = ssCtrl;
        break;
    case Qt::Key_Alt:
        item = ssAlt;
        break;
    default:
        return state;
    }
    if (pressed)
        state.Include(item);
    else
        state.Exclude(item);
    return state;
}

int CharFromText(const QString& text)
{
    if (text.size() != 1)
        return -1;
    return Windows1252FromUnicode(text.at(0).unicode());
}

bool PlatformKeyDown(uint16_t virtualKey)
{
    switch (virtualKey) {
    case VK_SHIFT:
        return QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
    case VK_CONTROL:
        return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    case VK_MENU:
        return QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier;
    case VK_LBUTTON:
        return QGuiApplication::mouseButtons() & Qt::LeftButton;
    case VK_RBUTTON:
        return QGuiApplication::mouseButtons() & Qt::RightButton;
    case VK_MBUTTON:
        return QGuiApplication::mouseButtons() & Qt::MiddleButton;
    default:
        return false;
    }
}

int TypedChar(const QKeyEvent& event, uint16_t key, TShiftState shift)
{
    const bool ctrl = shift.Contains(ssCtrl);
    const bool alt = shift.Contains(ssAlt);
    if (alt && !ctrl)
        return -1; // Alt+key is a menu key, not typing
    switch (key) {
    case VK_BACK:
        return ctrl ? 0x7F : 0x08;
    case VK_TAB:
        return ctrl ? -1 : 0x09;
    case VK_RETURN:
        return ctrl ? 0x0A : 0x0D;
    case VK_ESCAPE:
        return 0x1B;
    case VK_DELETE:
        return -1;
    default:
        break;
    }
    if (ctrl && !alt) {
        // Ctrl+letter types its control code; Ctrl with other keys types nothing
        // except the few punctuation control codes.
        if (key >= 'A' && key <= 'Z')
            return key - 'A' + 1;
        switch (key) {
        case VK_OEM_4:
            return 0x1B;
        case VK_OEM_5:
            return 0x1C;
        case VK_OEM_6:
            return 0x1D;
        default:
            return -1;
        }
    }
    return CharFromText(event.text());
}

void TrackKeyEvent(const QKeyEvent& event)
{
    Qt::KeyboardModifiers modifiers = event.modifiers() & TrackedModifierMask;
    const TShiftState state = ShiftStateFromKeyEvent(event);
    modifiers.setFlag(Qt::ShiftModifier, state.Contains(ssShift));
    modifiers.setFlag(Qt::ControlModifier, state.Contains(ssCtrl));
    modifiers.setFlag(Qt::AltModifier, state.Contains(ssAlt));
    TrackedModifiers = modifiers;
}

void TrackMouseButtons(Qt::MouseButtons buttons)
{
    TrackedButtons = buttons;
}

void TrackMouseModifiers(Qt::KeyboardModifiers modifiers)
{
    TrackedModifiers = modifiers & TrackedModifierMask;
}

void ForgetTrackedModifiers()
{
    TrackedModifiers = {};
}

bool TrackedKeyDown(uint16_t virtualKey)
{
    switch (virtualKey) {
    case VK_SHIFT:
        return TrackedModifiers & Qt::ShiftModifier;
    case VK_CONTROL:
        return TrackedModifiers & Qt::ControlModifier;
    case VK_MENU:
        return TrackedModifiers & Qt::AltModifier;
    case VK_LBUTTON:
        return TrackedButtons & Qt::LeftButton;
    case VK_RBUTTON:
        return TrackedButtons & Qt::RightButton;
    case VK_MBUTTON:
        return TrackedButtons & Qt::MiddleButton;
    default:
        return false;
    }
}

bool MouseButtonFromQt(Qt::MouseButton qtButton, TMouseButton& button)
{
    switch (qtButton) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}
