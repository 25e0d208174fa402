#include "app/NestedWait.h"

#include <QCoreApplication>
#include <QList>
#include <QThread>
#include <QVariant>
#include <utility>

namespace {

const char kDoomed[] = "_vantrel_delete_when_idle";

struct Open
{
    QPointer<const QObject> owner;
    std::function<void()> leave;
    int id = 0;
};

struct State
{
    int depth = 0;
    int lastId = 0;
    QList<Open> open;
    QList<QPointer<QObject>> doomed;
};

State& state()
{
    static State s;
    return s;
}

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool within(const QObject* object, const QObject* ancestor)
{
    for (const QObject* o = object; o; o = o->parent()) {
        if (o == ancestor)
            return true;
    }
    return false;
}

} // namespace

namespace NestedWait {

Scope::Scope(const QObject* owner, std::function<void()> leave)
{
    // Loops of worker threads hold up nothing of the windows.
    if (!onGuiThread())
        return;
    counted = true;
    State& s = state();
    ++s.depth;
    if (owner && leave) {
        entry = ++s.lastId;
        s.open.append({ owner, std::move(leave), entry });
    }
}

Scope::~Scope()
{
    if (!counted)
        return;
    State& s = state();
    --s.depth;
    if (entry) {
        for (int i = s.open.size() - 1; i >= 0; --i) {
            if (s.open.at(i).id == entry) {
                s.open.removeAt(i);
                break;
            }
        }
    }
    if (s.depth > 0)
        return;
    const QList<QPointer<QObject>> due = std::exchange(s.doomed, {});
    for (const QPointer<QObject>& o : due) {
        if (o)
            o->deleteLater();
    }
}

int depth()
{
    return state().depth;
}

void deleteWhenIdle(QObject* object)
{
    if (!object)
        return;
    // Gone from now on, also for a box its own code might still try to open on the way out.
    object->setProperty(kDoomed, true);
    State& s = state();
    if (!onGuiThread() || s.depth == 0) {
        object->deleteLater();
        return;
    }
    s.doomed.append(object);
    // Loops running for something inside it end; they answer that their owner went.
    for (const Open& o : QList<Open>(s.open)) {
        if (o.owner && within(o.owner, object))
            o.leave();
    }
}

bool isGone(const QObject* object)
{
    if (!object)
        return true;
    for (const QObject* o = object; o; o = o->parent()) {
        if (o->property(kDoomed).toBool())
            return true;
    }
    return false;
}

} // namespace NestedWait
