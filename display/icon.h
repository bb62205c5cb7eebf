// The program's own icon: 32x32 pixels, 24-bit colour, shown by the window and
// carried by the program file. Its one source is display/icon.ico, embedded
// into the program at build time.
#pragma once

#include <array>
#include <cstdint>

constexpr int ProgramIconSize = 32;
using IconPixels = std::array<uint8_t, ProgramIconSize * ProgramIconSize * 3>;
// Rows from the top, each pixel three bytes: red, green, blue.
const IconPixels& programIcon();
