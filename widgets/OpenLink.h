#pragma once

class QUrl;
class QWidget;

// Opens a web address in the browser or a folder in the file manager. When the desktop has
// nothing to open it with, the author is told so (with the address) instead of nothing
// happening. The box belongs to the window of `near` (or the active window).
bool openLink(const QUrl& url, QWidget* near = nullptr);
