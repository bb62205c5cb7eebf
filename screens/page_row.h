// The rows of the pages in the language in use, as the screen shows them.
#pragma once

#include <string>
#include <string_view>

// A UTF-8 text as one screen row: code page 437, cut or padded with blanks to 80 bytes.
std::string pageRow(std::string_view text);
// A row of a page of the record store (Dutch) in the language in use: the row
// without its blanks at the end is the catalogue id; the program's version in
// it stands as "@VERSION@" there.
std::string translatedPageRow(std::string_view stored);
