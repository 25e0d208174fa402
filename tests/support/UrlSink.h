#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Keeps the addresses the program hands to the browser: register it as the URL handler
// (QDesktopServices::setUrlHandler(scheme, &sink, "open")) and read `urls`.
class UrlSink : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};
