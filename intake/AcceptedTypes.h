#pragma once

#include <QString>

// The kinds of file the program takes, as the help text tells the author, made from the
// file-type table so that it can never promise more or less than is accepted:
// "Word 文档（doc、docx）、…、压缩包（zip、rar、tar、7z）".
QString acceptedTypesText();
