// Every text a person reads is looked up here. The Dutch text, as the program
// has always said it, is its own key; the catalogue of the chosen language
// (a GNU gettext .po file under po/, compiled into the program by the build)
// gives the translation. Texts are UTF-8 until they meet the screen.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Marks a text for the catalogue where the lookup happens later (tables).
#define N_(text) text

// "nl", the program's own language, then every language with a catalogue.
std::vector<std::string> catalogueLanguages();
bool hasCatalogue(std::string_view language);
// Every later lookup answers in `language`; one without a catalogue answers
// in Dutch. Chosen once at start-up, before a second thread runs.
void useLanguage(std::string_view language);
const std::string& languageInUse();

// `dutch` in the language in use; `dutch` itself where there is no translation.
const char* tr(const char* dutch);
// The form for `count`: `singular` for 1, `plural` otherwise, in the language in use.
const char* trn(const char* singular, const char* plural, long count);
// A looked-up pattern with {0}, {1}, ... filled in, so that a translation
// may put the values in its own word order.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values);
