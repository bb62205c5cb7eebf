// The compiled catalogues built into the program (generated: catalogue_data.cpp).
#pragma once

#include <cstddef>

struct CatalogueData {
    const char* language;       // "en", from the .po file's name
    const unsigned char* bytes; // the GNU .mo file msgfmt made of it
    size_t size;
};

extern const CatalogueData CatalogueTable[];
extern const int CatalogueCount;
