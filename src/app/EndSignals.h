#pragma once

// SIGTERM, SIGINT and SIGHUP end the program without leaving its private copies (RunFolder) behind.
// The handler only writes the signal's number into a pipe, all a handler may safely do; a thread of
// its own reads it. While the application's loop is to be quit (setQuitsLoop), a signal asks the
// application to quit, as a session that ends does, and the program ends its work and windows as
// usual; at any other time, and at a second signal, it removes the private copies and leaves at once
// with 128 + the signal's number (the program may be in the middle of its work).
class EndSignals
{
public:
    // Installs the handlers and starts the thread; once, early in main() (after MallocTuning::apply(),
    // before any other thread starts). A signal the program was started ignoring (nohup's SIGHUP)
    // stays ignored.
    static void install();
    // Whether a signal asks the application to quit rather than leaving at once: on while the
    // application's loop may run, off before the application goes.
    static void setQuitsLoop(bool on);
    // The signal that asked the program to end, or 0.
    static int received();
    // The program's exit code: 128 + the signal's number after one, else code.
    static int exitCode(int code);
};
