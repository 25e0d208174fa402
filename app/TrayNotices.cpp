#include "app/TrayNotices.h"

namespace {

const char* const kTitle = "Zentrel";

} // namespace

TrayNotices::TrayNotices(Show show, Hidden hidden)
    : show(std::move(show))
    , hidden(std::move(hidden))
{
}

QString TrayNotices::batchText(int succeeded, int failed)
{
    if (failed == 0)
        return QStringLiteral("%1份资料已上传成功").arg(succeeded);
    return QStringLiteral("%1份成功，%2份失败").arg(succeeded).arg(failed);
}

void TrayNotices::batchFinished(int succeeded, int failed)
{
    if (succeeded + failed > 0 && hidden())
        show(kTitle, batchText(succeeded, failed));
}

void TrayNotices::rowFailed(const QString& title, const QString& reason)
{
    if (!hidden())
        return;
    QString text = QStringLiteral("“%1”上传失败").arg(title);
    if (!reason.isEmpty())
        text += QStringLiteral("：") + reason;
    show(kTitle, text);
}

void TrayNotices::closedToTray()
{
    if (toldAboutTray)
        return;
    toldAboutTray = true;
    show(kTitle, QStringLiteral("Zentrel仍在托盘中运行，上传不会中断。点击托盘图标可重新打开窗口"));
}
