#pragma once

// The start-up work between showing the main window and running the event loop.
class StartUpChecks
{
public:
    // Converts local databases kept in the older layout under a progress dialog that cannot be
    // cancelled; true when there was something to convert (the dialog was shown).
    static bool convertOldLocalDbs();
    // Warns once when the program's folder under Application Support is not writable; true when
    // the warning was shown.
    static bool warnIfStorageNotWritable();
};
