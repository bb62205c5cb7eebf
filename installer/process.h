// The process around the installer: standard streams that may be closed,
// signals, console events.
#pragma once

// Called first in main, before anything is opened: descriptors 0 to 2 that are
// closed are opened on the null device (so a drive can never take their place
// and be read as keys or written as screen output); a reader that went away
// only loses screen output; Ctrl-C and its kin end the program, but never in
// the middle of a sequence of disk writes.
void prepareProcess();
