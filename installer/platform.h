// The program and its platform: standard streams that may be closed,
// signals, console events.
#pragma once

#include "display/text_screen.h"

#include <functional>
#include <string>

// The parts of the usage text that differ by platform: the lines of -d/--drive
// (how a disk is named) and the closing examples.
struct DriveUsage {
    const char* option;
    const char* examples;
};
DriveUsage driveUsage();

// The user's interface language as a locale name ("en-US"; Windows), empty
// where the environment alone decides (POSIX).
std::string systemLanguage();

// The platform's words for a drive that did not open (catalogue ids, looked up
// by the caller): missing rights; a path that names no disk, and any other
// failure, as patterns of {0} the drive number, {1} the path, {2} the error.
const char* noRightsText();
const char* notADiskPattern();
const char* openErrorPattern();
// A system error code in words, in the language in use.
std::string systemErrorText(int error);

// Called first in main, before anything is opened: descriptors 0 to 2 that are
// closed are opened on the null device (so a drive can never take their place
// and be read as keys or written as screen output); a reader that went away
// only loses screen output; Ctrl-C and its kin end the program, but never in
// the middle of a sequence of disk writes.
void prepareProcess();

// True when a command-line run writes its message lines as plain text: its
// standard output is no terminal, or one that cannot place the cursor (TERM
// unset or "dumb") (POSIX; the Windows program has its window).
bool plainOutputWanted();
// False when standard input is no terminal: nobody is there to answer the
// closing prompt.
bool inputIsTerminal();
// Runs `logic` with keys from standard input and the screen drawn nowhere;
// the message lines go out as plain text.
int runPlain(TextScreen& screen, const std::function<void(TextScreen&)>& logic);

// Puts out what a command-line action said (standard output and standard
// error) and returns `exitCode`. The Windows program, which has no console of
// its own, writes into the console it was started from, or without one shows
// the text in its window until a key; so does the POSIX program started bare
// (`bareStart`: no arguments, as from a desktop menu) with no terminal and a
// display.
int showCliText(const std::string& out, const std::string& err, int exitCode, bool bareStart);
// True when the program was started as from a desktop menu: no terminal on
// standard input and standard error, and a display (POSIX; false on Windows,
// which names its disks by number and asks for rights through its manifest).
bool startedFromDesktop();
// True when the program may write whole disks (POSIX: effective user root).
bool mayWriteDisks();
// Starts this program again through pkexec, which asks for the password of
// an administrator, with `drive` as --drive. Returns only when that failed,
// with why as a Dutch sentence.
std::string restartWithRights(const std::string& drive);

// The text in the program's window, a page at a time, until a key.
int showTextInWindow(const std::string& text, int exitCode);
// The same on a given screen.
int showTextInWindow(TextScreen& screen, const std::string& text, int exitCode);

// Whether the screen needs its 640x448 framebuffer: not for a command word on
// POSIX, whose lines go to the terminal or out as text (only the cells count).
bool framebufferWanted(bool batch);
// False when the menu has nobody to show itself to: standard input is no
// terminal and there is no display (POSIX; the Windows program has its window).
bool menuCanRun();
// `exitCode`, or 3 with a line on standard error when standard output could
// not take what was written to it.
int outputWritten(int exitCode);
