#include "app/FirstFrame.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <ctime>

namespace {

class FirstFrameWatch : public QObject
{
public:
    FirstFrameWatch(QWidget* window, std::function<void()> then)
        : QObject(window)
        , then(std::move(then))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // The frame is flushed once this round's painting is done.
            QTimer::singleShot(0, this, [this]() {
                then();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> then;
};

} // namespace

void afterFirstFrame(QWidget* window, std::function<void()> then)
{
    new FirstFrameWatch(window, std::move(then));
}

qint64 monotonicNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}
