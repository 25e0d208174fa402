#pragma once

#include <QString>
#include <utility>

// What an operation below the windows reports: success, or failure with the text meant for
// the user (empty when there is nothing to tell). Only the GUI turns a message into a box.
struct OpResult
{
    bool ok = true;
    QString message;

    static OpResult success() { return {}; }
    static OpResult failure(QString text) { return { false, std::move(text) }; }
    explicit operator bool() const { return ok; }
};
