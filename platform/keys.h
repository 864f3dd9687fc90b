#pragma once
// Virtual-key codes: the numbers the game's key handlers receive, the same on every platform
// implementation. Letters arrive as their upper-case ASCII code and digits as their ASCII
// code, whatever the shift state.

#include <cstdint>

namespace qf {

using TVirtualKey = uint16_t;

constexpr TVirtualKey VK_BACK = 8;
constexpr TVirtualKey VK_TAB = 9;
constexpr TVirtualKey VK_RETURN = 13;
constexpr TVirtualKey VK_SHIFT = 16;
constexpr TVirtualKey VK_CONTROL = 17;
constexpr TVirtualKey VK_MENU = 18;  // Alt
constexpr TVirtualKey VK_PAUSE = 19;
constexpr TVirtualKey VK_CAPITAL = 20;
constexpr TVirtualKey VK_ESCAPE = 27;
constexpr TVirtualKey VK_SPACE = 32;
constexpr TVirtualKey VK_PRIOR = 33;  // Page Up
constexpr TVirtualKey VK_NEXT = 34;   // Page Down
constexpr TVirtualKey VK_END = 35;
constexpr TVirtualKey VK_HOME = 36;
constexpr TVirtualKey VK_LEFT = 37;
constexpr TVirtualKey VK_UP = 38;
constexpr TVirtualKey VK_RIGHT = 39;
constexpr TVirtualKey VK_DOWN = 40;
constexpr TVirtualKey VK_INSERT = 45;
constexpr TVirtualKey VK_DELETE = 46;
// '0'..'9' are 48..57 and 'A'..'Z' are 65..90; there are no named constants for them.
constexpr TVirtualKey VK_NUMPAD0 = 96;  // .. VK_NUMPAD0 + 9
constexpr TVirtualKey VK_MULTIPLY = 106;
constexpr TVirtualKey VK_ADD = 107;
constexpr TVirtualKey VK_SUBTRACT = 109;
constexpr TVirtualKey VK_DECIMAL = 110;
constexpr TVirtualKey VK_DIVIDE = 111;
constexpr TVirtualKey VK_F1 = 112;  // .. VK_F1 + 11 for F12

// Modifier state delivered with a key event (a set of these bits).
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;

}  // namespace qf
