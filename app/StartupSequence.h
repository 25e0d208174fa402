#pragma once

class MySingleApplication;

// The windowed part of the start-up, after the data-access object exists: login dialog,
// main window and the event loop. Returns the program's exit code.
int runWindows(MySingleApplication& app);
