#include "core/catalogue.h"

#include "core/catalogue_data.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// One compiled catalogue (a GNU .mo file): a header, then two tables of
// (length, offset) pairs, the originals sorted byte-wise, the translations
// in the same order.
struct MoFile {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    uint32_t count = 0;
    uint32_t originals = 0;
    uint32_t translations = 0;
    bool swapped = false;
};

uint32_t word(const MoFile& mo, size_t at) {
    if (at + 4 > mo.size) return 0;
    uint32_t value;
    std::memcpy(&value, mo.bytes + at, 4);
    return mo.swapped ? __builtin_bswap32(value) : value;
}

MoFile openMo(const unsigned char* bytes, size_t size) {
    MoFile mo{bytes, size};
    if (size < 28) return {};
    const uint32_t magic = word(mo, 0);
    if (magic == 0xde120495)
        mo.swapped = true;
    else if (magic != 0x950412de)
        return {};
    mo.count = word(mo, 8);
    mo.originals = word(mo, 12);
    mo.translations = word(mo, 16);
    const uint64_t tables = uint64_t(mo.count) * 8;
    if (mo.originals + tables > size || mo.translations + tables > size) return {};
    return mo;
}

// String `index` of a table, or nullptr when it does not lie inside the file
// with its closing NUL.
const char* stringAt(const MoFile& mo, uint32_t table, uint32_t index, uint32_t* length) {
    const uint32_t size = word(mo, table + size_t(index) * 8);
    const uint32_t offset = word(mo, table + size_t(index) * 8 + 4);
    if (uint64_t(offset) + size >= mo.size || mo.bytes[offset + size] != 0) return nullptr;
    *length = size;
    return reinterpret_cast<const char*>(mo.bytes + offset);
}

struct Current {
    std::string language = "nl";
    MoFile mo;
};

Current& current() {
    static Current state;
    return state;
}

const CatalogueData* findCatalogue(std::string_view language) {
    for (int i = 0; i < CatalogueCount; ++i)
        if (language == CatalogueTable[i].language) return &CatalogueTable[i];
    return nullptr;
}

// The translation of `key` (for a plural: singular NUL plural), its forms NUL-separated.
const char* lookUp(std::string_view key, uint32_t* length) {
    const MoFile& mo = current().mo;
    uint32_t low = 0, high = mo.count;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        uint32_t size = 0;
        const char* original = stringAt(mo, mo.originals, middle, &size);
        if (!original) return nullptr;
        const int order = std::string_view(original, size).compare(key);
        if (order == 0) {
            const char* text = stringAt(mo, mo.translations, middle, length);
            return text && *length > 0 ? text : nullptr;
        }
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

} // namespace

std::vector<std::string> catalogueLanguages() {
    std::vector<std::string> languages{"nl"};
    for (int i = 0; i < CatalogueCount; ++i) languages.emplace_back(CatalogueTable[i].language);
    return languages;
}

bool hasCatalogue(std::string_view language) {
    return language == "nl" || findCatalogue(language) != nullptr;
}

void useLanguage(std::string_view language) {
    Current& state = current();
    const CatalogueData* data = findCatalogue(language);
    state.language = data ? std::string(language) : "nl";
    state.mo = data ? openMo(data->bytes, data->size) : MoFile{};
}

const std::string& languageInUse() {
    return current().language;
}

const char* tr(const char* dutch) {
    // The empty id is the catalogue's header, never a text.
    if (!dutch || !*dutch) return dutch;
    uint32_t length = 0;
    const char* text = lookUp(dutch, &length);
    return text ? text : dutch;
}

const char* trn(const char* singular, const char* plural, long count) {
    std::string key(singular);
    key += '\0';
    key += plural;
    uint32_t length = 0;
    const char* forms = lookUp(key, &length);
    // The catalogues built in say "nplurals=2; plural=(n != 1)".
    const int form = count != 1 ? 1 : 0;
    if (!forms) return form ? plural : singular;
    const char* text = forms;
    const char* end = forms + length;
    for (int i = 0; i < form && text < end; ++i) text += std::strlen(text) + 1;
    return text < end ? text : forms;
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
            pattern[i + 1] >= '0' && pattern[i + 1] <= '9') {
            const size_t index = size_t(pattern[i + 1] - '0');
            if (index < values.size()) {
                out += *(values.begin() + index);
                i += 2;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}
