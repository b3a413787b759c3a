#pragma once
// Keyboard and mouse input in the classic shape: virtual-key codes and a shift state.
// Qt's key events are turned into these in one place (this file), so the grid and the
// hex editor speak only virtual keys.
#include "hexeditor/SmallSet.h"

#include <QString>
#include <Qt>

#include <cstdint>

class QKeyEvent;

// Modifier keys and mouse buttons that come with an input event.
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSmallSet<TShiftStateItem>;

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Virtual-key codes (the values of the classic platform). Digits and letters use their
// upper-case ASCII code ('0'..'9', 'A'..'Z').
constexpr uint16_t VK_LBUTTON = 0x01;
constexpr uint16_t VK_RBUTTON = 0x02;
constexpr uint16_t VK_CANCEL = 0x03;
constexpr uint16_t VK_MBUTTON = 0x04;
constexpr uint16_t VK_BACK = 0x08;
constexpr uint16_t VK_TAB = 0x09;
constexpr uint16_t VK_CLEAR = 0x0C;
constexpr uint16_t VK_RETURN = 0x0D;
constexpr uint16_t VK_SHIFT = 0x10;
constexpr uint16_t VK_CONTROL = 0x11;
constexpr uint16_t VK_MENU = 0x12;
constexpr uint16_t VK_PAUSE = 0x13;
constexpr uint16_t VK_CAPITAL = 0x14;
constexpr uint16_t VK_ESCAPE = 0x1B;
constexpr uint16_t VK_SPACE = 0x20;
constexpr uint16_t VK_PRIOR = 0x21;
constexpr uint16_t VK_NEXT = 0x22;
constexpr uint16_t VK_END = 0x23;
constexpr uint16_t VK_HOME = 0x24;
constexpr uint16_t VK_LEFT = 0x25;
constexpr uint16_t VK_UP = 0x26;
constexpr uint16_t VK_RIGHT = 0x27;
constexpr uint16_t VK_DOWN = 0x28;
constexpr uint16_t VK_SELECT = 0x29;
constexpr uint16_t VK_PRINT = 0x2A;
constexpr uint16_t VK_SNAPSHOT = 0x2C;
constexpr uint16_t VK_INSERT = 0x2D;
constexpr uint16_t VK_DELETE = 0x2E;
constexpr uint16_t VK_HELP = 0x2F;
constexpr uint16_t VK_LWIN = 0x5B;
constexpr uint16_t VK_RWIN = 0x5C;
constexpr uint16_t VK_APPS = 0x5D;
constexpr uint16_t VK_NUMPAD0 = 0x60; // VK_NUMPAD0 + n for n in 0..9
constexpr uint16_t VK_MULTIPLY = 0x6A;
constexpr uint16_t VK_ADD = 0x6B;
constexpr uint16_t VK_SEPARATOR = 0x6C;
constexpr uint16_t VK_SUBTRACT = 0x6D;
constexpr uint16_t VK_DECIMAL = 0x6E;
constexpr uint16_t VK_DIVIDE = 0x6F;
constexpr uint16_t VK_F1 = 0x70; // VK_F1 + n - 1 for Fn, n in 1..24
constexpr uint16_t VK_F2 = 0x71;
constexpr uint16_t VK_F3 = 0x72;
constexpr uint16_t VK_F4 = 0x73;
constexpr uint16_t VK_F5 = 0x74;
constexpr uint16_t VK_F6 = 0x75;
constexpr uint16_t VK_F7 = 0x76;
constexpr uint16_t VK_F8 = 0x77;
constexpr uint16_t VK_F9 = 0x78;
constexpr uint16_t VK_F10 = 0x79;
constexpr uint16_t VK_F11 = 0x7A;
constexpr uint16_t VK_F12 = 0x7B;
constexpr uint16_t VK_NUMLOCK = 0x90;
constexpr uint16_t VK_SCROLL = 0x91;
constexpr uint16_t VK_OEM_1 = 0xBA; // ;:
constexpr uint16_t VK_OEM_PLUS = 0xBB; // =+
constexpr uint16_t VK_OEM_COMMA = 0xBC; // ,<
constexpr uint16_t VK_OEM_MINUS = 0xBD; // -_
constexpr uint16_t VK_OEM_PERIOD = 0xBE; // .>
constexpr uint16_t VK_OEM_2 = 0xBF; // /?
constexpr uint16_t VK_OEM_3 = 0xC0; // `~
constexpr uint16_t VK_OEM_4 = 0xDB; // [{
constexpr uint16_t VK_OEM_5 = 0xDC; // \|
constexpr uint16_t VK_OEM_6 = 0xDD; // ]}
constexpr uint16_t VK_OEM_7 = 0xDE; // '"

// What a control asks of the keyboard (its answer to the dialog-code question).
constexpr uint32_t DLGC_WANTARROWS = 0x0001;
constexpr uint32_t DLGC_WANTTAB = 0x0002;
constexpr uint32_t DLGC_WANTALLKEYS = 0x0004;
constexpr uint32_t DLGC_WANTCHARS = 0x0080;

// The virtual key of a Qt key; 0 for a key that has none. The keypad modifier turns
// keypad digits and operators into their VK_NUMPAD/VK_MULTIPLY... codes.
uint16_t VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The shift state of keyboard modifiers and mouse buttons.
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = Qt::NoButton);

// The shift state that goes with a key event. A modifier key counts as held while it is
// pressed and as released when it is let go, whatever the platform put in the event.
TShiftState ShiftStateFromKeyEvent(const QKeyEvent& event);

// The one Windows-1252 byte for a typed text, or -1 when the text is not exactly one
// character that the code page has.
int CharFromText(const QString& text);

// Whether the platform reports the key or mouse button as down now: the modifiers
// (VK_SHIFT, VK_CONTROL, VK_MENU) and the buttons (VK_LBUTTON, VK_RBUTTON, VK_MBUTTON).
// Other keys answer false.
bool PlatformKeyDown(uint16_t virtualKey);

// The character a key press types (one Windows-1252 byte), as the classic platform's
// translation would produce it, or -1 when it types none: Ctrl+letter its control code,
// Alt+key nothing (a menu key), Backspace, Tab, Return and Escape their codes.
int TypedChar(const QKeyEvent& event, uint16_t key, TShiftState shift);

// The modifiers and buttons that the last input events said were down: key events
// (TrackKeyEvent) and mouse events (TrackMouseButtons, TrackMouseModifiers). Losing the
// focus forgets the modifiers. TrackedKeyDown answers for VK_SHIFT, VK_CONTROL, VK_MENU,
// VK_LBUTTON, VK_RBUTTON and VK_MBUTTON.
void TrackKeyEvent(const QKeyEvent& event);
void TrackMouseButtons(Qt::MouseButtons buttons);
void TrackMouseModifiers(Qt::KeyboardModifiers modifiers);
void ForgetTrackedModifiers();
bool TrackedKeyDown(uint16_t virtualKey);

// The button of a Qt mouse event; false for a button the grid does not know.
bool MouseButtonFromQt(Qt::MouseButton qtButton, TMouseButton& button);
