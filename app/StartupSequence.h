#pragma once

class MySingleApplication;

// Installs the message-box notifier of the windowed program; called before the
// data-access object is built.
void installUserNotifier();

// The windowed part of the start-up, after the data-access object exists: login dialog,
// main window and the event loop. Returns the program's exit code.
int runWindows(MySingleApplication& app);
