// The program's own icon: 32x32 pixels, 24-bit colour, shown by the window and
// carried by the program file.
#pragma once

#include <cstdint>

constexpr int ProgramIconSize = 32;
// Rows from the top, each pixel three bytes: red, green, blue.
extern const uint8_t ProgramIcon[ProgramIconSize * ProgramIconSize * 3];
