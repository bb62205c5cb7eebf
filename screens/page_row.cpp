#include "screens/page_row.h"

#include "core/catalogue.h"
#include "display/font_cp437.h"
#include "display/text_screen.h"
#include "veltra_version.h"

std::string pageRow(std::string_view text) {
    std::string row = cp437FromUtf8(text);
    row.resize(TextScreen::Columns, ' ');
    return row;
}

std::string translatedPageRow(std::string_view stored) {
    std::string id(stored.substr(0, stored.find_last_not_of(' ') + 1));
    if (id.empty()) return pageRow(id);
    constexpr std::string_view Version = VELTRA_VERSION;
    constexpr std::string_view Placeholder = "@VERSION@";
    const size_t at = id.find(Version);
    if (at != std::string::npos) id.replace(at, Version.size(), Placeholder);
    std::string text = tr(id.c_str());
    if (const size_t back = text.find(Placeholder); back != std::string::npos)
        text.replace(back, Placeholder.size(), Version);
    return pageRow(text);
}
