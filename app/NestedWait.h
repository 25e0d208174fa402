#pragma once

#include <QPointer>
#include <functional>

class QObject;

// The modal boxes and nested event loops running on the GUI thread, and the deletions that
// must wait for them. While a nested loop runs, the code that opened it is still on the stack
// below it; deleting that code's object from inside the loop pulls the floor from under it.
// So forms, rows and windows are deleted with deleteWhenIdle(), never with a bare deleteLater().
namespace NestedWait {

// Marks one nested loop for its lifetime. `owner` (may be null) is the object the loop runs
// for; `leave` ends the loop early and is called when the owner is about to be deleted.
class Scope
{
public:
    explicit Scope(const QObject* owner = nullptr, std::function<void()> leave = {});
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool counted = false;
    int entry = 0;
};

// Nested loops running now.
int depth();

// Deletes `object` once no nested loop runs (through deleteLater(), at once when none does).
// Loops running for it or for anything inside it are asked to leave, and from now on it counts
// as gone: no box opens for it any more.
void deleteWhenIdle(QObject* object);

// Whether `object` is null, or it or one of its parents waits in deleteWhenIdle().
bool isGone(const QObject* object);

} // namespace NestedWait
