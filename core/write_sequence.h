// A sequence of disk writes runs to its end: a request to stop the program
// (Ctrl-C, SIGTERM, SIGHUP, the console closing) that arrives meanwhile waits
// until the writes and any put-back are done.
#pragma once

// What a stop does: ends the program for `signal`. Set once at start-up.
using StopAction = void (*)(int signal);
void setStopAction(StopAction action);

void beginWriteSequence();
// Runs a stop that arrived during the sequence.
void endWriteSequence();
bool inWriteSequence();

// From a signal handler or a console control thread: stops now, or, during a
// write sequence, once it ends. Async-signal-safe.
void requestStop(int signal);
