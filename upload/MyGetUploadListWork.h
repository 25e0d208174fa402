#pragma once

#include <QThread>

class MyDAO;

// Restores the pending upload list on its own thread while every worker is paused; the
// list arrives through MyDAO::s_uplist_fromdb. Frees itself when it has run.
class MyGetUploadListWork : public QThread
{
    Q_OBJECT

public:
    explicit MyGetUploadListWork(QObject* parent = nullptr);
    ~MyGetUploadListWork() override;

protected:
    void run() override;

private:
    MyDAO* owner = nullptr;
};
