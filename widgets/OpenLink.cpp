#include "widgets/OpenLink.h"

#include "widgets/MyMsgBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

bool openLink(const QUrl& url, QWidget* near)
{
    if (QDesktopServices::openUrl(url))
        return true;
    QWidget* owner = near ? near->window() : QApplication::activeWindow();
    const QString text = url.isLocalFile()
        ? QStringLiteral("无法打开文件夹，请在文件管理器中手动打开：\n%1").arg(url.toLocalFile())
        : QStringLiteral("无法打开网页，请复制地址到浏览器中访问：\n%1").arg(url.toString());
    MyMsgBox::alert(text, owner);
    return false;
}
