#pragma once

class MySingleApplication;

// Installs the message-box notifier of the windowed program; called before the
// data-access object is built.
void installUserNotifier();

// The version check: true when a new version was offered and the user handed over to the
// updater (the program then ends); nothing is shown when the site has nothing new or
// cannot be reached.
bool updateAcceptedOnStart();

// The windowed part of the start-up, after the data-access object exists: the version
// check, login dialog, main window and the event loop. Returns the program's exit code.
int runWindows(MySingleApplication& app);
