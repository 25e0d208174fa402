#pragma once

#include <QPixmap>
#include <QString>

// A picture of the program for a label: on a screen scaled above 100 % the "@2x" file beside
// it (rendered from the same drawing at twice the size) when there is one, so it stays sharp.
QPixmap sharpPixmap(const QString& path);
