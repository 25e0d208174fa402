#pragma once

#include <QtGlobal>
#include <functional>

class QWidget;

// Calls `then` once, in the event-loop round after `window` was first painted (its first
// frame has gone to the screen). The start-up benchmark marks that moment in this program
// and in a bare window alike, so this file needs nothing but Qt Widgets.
void afterFirstFrame(QWidget* window, std::function<void()> then);

// CLOCK_MONOTONIC in nanoseconds: the same clock in every process of the machine.
qint64 monotonicNs();
