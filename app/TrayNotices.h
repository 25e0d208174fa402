#pragma once

#include <QString>
#include <functional>

// The few things worth a tray message: a batch of uploads that ended while the window was
// away, a row that failed meanwhile, and the first close to the tray. The window side gives
// it how to show a message and whether the window is out of sight.
class TrayNotices
{
public:
    using Show = std::function<void(const QString& title, const QString& text)>;
    using Hidden = std::function<bool()>;

    TrayNotices(Show show, Hidden hidden);

    void batchFinished(int succeeded, int failed);
    void rowFailed(const QString& title, const QString& reason);
    // The window went to the tray; said once per run.
    void closedToTray();

    static QString batchText(int succeeded, int failed);

private:
    Show show;
    Hidden hidden;
    bool toldAboutTray = false;
};
