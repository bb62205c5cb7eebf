// Which language the program speaks, by the rules GNU programs follow: --lang
// first, then LANGUAGE (a list by priority, such as "de:en"), LC_ALL,
// LC_MESSAGES and LANG; on Windows, where none of them is set, the user's
// interface language. C, POSIX, nothing set or a language without a catalogue:
// Dutch, the program's own.
#pragma once

#include "core/installer_state.h"

#include <string>

struct LanguageSources {
    std::string option;       // --lang's value, empty when not given
    std::string languageList; // LANGUAGE
    std::string lcAll;        // LC_ALL
    std::string lcMessages;   // LC_MESSAGES
    std::string lang;         // LANG
    std::string system;       // the user's interface language (Windows), e.g. "en-US"
};

// The language of a locale name: "en_US.UTF-8@euro" and "en-US" give "en" when
// "en" has a catalogue ("pt_BR" gives "pt_BR" when that has one); empty when
// neither has.
std::string catalogueLanguageOf(const std::string& locale);
// The language that `sources` choose: always one with a catalogue ("nl" at least).
std::string chooseLanguage(const LanguageSources& sources);
// The environment's sources (and the platform's interface language), with
// --lang's `option`.
LanguageSources languageSources(const std::string& option);
// --lang's value taken from the arguments before anything else is parsed, so
// that even a usage error speaks the chosen language; empty when not given.
std::string languageOption(int argc, char** argv);
// The boot program's language for an install that asks for none on a disk
// without one: the installer's own where there are boot texts in it, else Dutch.
BootLanguage bootLanguageOfProgram();
