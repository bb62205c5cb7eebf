#pragma once

#include "core/installer_state.h"
#include "display/text_screen.h"

// Repaints the 16 pixel rows from `top` between `left` and `right` with a
// vertical gradient from (red, green, blue), leaving pixels of keepColour alone.
// The steps come from the record store.
void drawGradientBar(RecordReader& reader, TextScreen& screen, int top, int left, int right,
                     int red, int green, int blue, uint32_t keepColour);
// The call every caller makes: the title or footer band starting at pixel row top.
void drawTitleGradient(RecordReader& reader, TextScreen& screen, int top);
