#pragma once

#include <QString>

class QWidget;

// For every descendant label of `parent` named `objectName`, shows its tool tip (the full
// text) elided at the right to `width` pixels when it does not fit.
void elideLabel(QWidget* parent, int width, const QString& objectName);
