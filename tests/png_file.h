// Screens as pictures, for tests and the screenshot tool.
#pragma once

#include "display/text_screen.h"

#include <string>

// The framebuffer, 640x448 RGB, as a PNG file; false when it cannot be written.
bool savePng(const TextScreen& screen, const std::string& path);
