#include "core/menu_options.h"

const MenuOption* menuOptionOfWord(std::string_view word) {
    for (const MenuOption& option : MenuOptions)
        if (option.word == word) return &option;
    return nullptr;
}

const MenuOption* menuOptionAtRow(int row) {
    for (const MenuOption& option : MenuOptions)
        if (option.row == row) return &option;
    return nullptr;
}

int menuRowOfKey(int key) {
    for (const MenuOption& option : MenuOptions)
        if (option.defaultKey == key) return option.row;
    return 0;
}

std::string defaultKeyName(int key) {
    if (key >= 0x3B && key <= 0x3E) return "F" + std::to_string(key - 0x3A);
    if (key >= 0x68 && key <= 0x6B) return "Alt-F" + std::to_string(key - 0x67);
    return {};
}
