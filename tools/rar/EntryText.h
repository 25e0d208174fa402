#pragma once

#include <string>

// Entry names come from the archive: a control character could break an output line, fake a
// separator or the closing marker the client looks for. Such characters are shown as '?'.
inline std::string printable(const char* text)
{
    std::string out = text ? text : "";
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return out;
}
