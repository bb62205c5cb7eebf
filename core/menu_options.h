// The options of the main menu in one table: the command word each row
// leaves on Enter, the DefaultKey an install with it stores, and the
// partition whose state the row shows. The command line, the menu and its
// marks, the operations, the status report and the dry run all read it, so
// that no row is ever found by reading its text (which the language changes).
#pragma once

#include <string>
#include <string_view>

struct MenuOption {
    std::string_view word; // the command word, the same in every language
    int row;               // its row on the main menu
    int defaultKey;        // the DefaultKey an install stores; 0 none; -1 no install
    int partition;         // the partition whose flags columns 3-4 show; 0 none
};

inline constexpr MenuOption MenuOptions[] = {
    {"RM", 8, -1, 0},    {"IN", 9, 0, 0},     {"1Z", 10, 0x68, 1}, {"1V", 11, 0x3B, 1},
    {"2Z", 12, 0x69, 2}, {"2V", 13, 0x3C, 2}, {"3Z", 14, 0x6A, 3}, {"3V", 15, 0x3D, 3},
    {"4Z", 16, 0x6B, 4}, {"4V", 17, 0x3E, 4}, {"HIDE", 19, -1, 0}, {"REST", 20, -1, 0},
};

// The option of a command word (upper case) or of a main-menu row; nullptr for none.
const MenuOption* menuOptionOfWord(std::string_view word);
const MenuOption* menuOptionAtRow(int row);
// The main-menu row of the option that installs DefaultKey `key` ("IN" for 0); 0 for none.
int menuRowOfKey(int key);
// The key a DefaultKey stands for: "F1".."F4" (hide the others), "Alt-F1".."Alt-F4"
// (keep them visible); empty for 0 and any other byte.
std::string defaultKeyName(int key);
