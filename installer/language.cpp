#include "installer/language.h"

#include "core/catalogue.h"
#include "installer/platform.h"

#include <cstdlib>
#include <string_view>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string catalogueLanguageOf(const std::string& locale) {
    // language[_territory][.codeset][@modifier], or Windows' language-territory.
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : name)
        if (c == '-') c = '_';
    if (name.empty() || name == "C" || name == "POSIX") return "";
    if (hasCatalogue(name)) return name;
    const std::string language = name.substr(0, name.find('_'));
    return hasCatalogue(language) ? language : "";
}

std::string chooseLanguage(const LanguageSources& sources) {
    if (!sources.option.empty()) {
        const std::string chosen = catalogueLanguageOf(sources.option);
        return chosen.empty() ? "nl" : chosen;
    }
    // The first entry of the list that has a catalogue; Dutch when none has.
    if (!sources.languageList.empty()) {
        std::string_view list = sources.languageList;
        while (!list.empty()) {
            const size_t colon = list.find(':');
            const std::string chosen = catalogueLanguageOf(std::string(list.substr(0, colon)));
            if (!chosen.empty()) return chosen;
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
        return "nl";
    }
    // The first of the locale variables that is set decides.
    for (const std::string* locale : {&sources.lcAll, &sources.lcMessages, &sources.lang}) {
        if (locale->empty()) continue;
        const std::string chosen = catalogueLanguageOf(*locale);
        return chosen.empty() ? "nl" : chosen;
    }
    const std::string chosen = catalogueLanguageOf(sources.system);
    return chosen.empty() ? "nl" : chosen;
}

LanguageSources languageSources(const std::string& option) {
    return {option,
            environment("LANGUAGE"),
            environment("LC_ALL"),
            environment("LC_MESSAGES"),
            environment("LANG"),
            systemLanguage()};
}

std::string languageOption(int argc, char** argv) {
    std::string chosen;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        // --lang or an abbreviation that getopt takes for it (--la, --lan).
        const std::string_view name = arg.substr(0, arg.find('='));
        if (name.size() < 4 || !std::string_view("--lang").starts_with(name)) continue;
        if (name.size() < arg.size())
            chosen = arg.substr(name.size() + 1);
        else if (i + 1 < argc && argv[i + 1])
            chosen = argv[++i];
    }
    return chosen;
}

BootLanguage bootLanguageOfProgram() {
    return languageInUse() == "en" ? BootLanguage::English : BootLanguage::Dutch;
}
