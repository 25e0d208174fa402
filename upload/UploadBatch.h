#pragma once

#include "upload/TransferEstimate.h"

#include <QMap>
#include <QObject>

// What the list's header shows of the uploads under way.
struct BatchFigures
{
    bool running = false;
    int files = 0; // rows in the batch
    int done = 0; // of them submitted
    int failed = 0; // of them failed
    qint64 loaded = 0; // bytes on the site, all rows of the batch
    qint64 total = 0;
    qint64 secondsLeft = -1; // -1: unknown
    int submitted = 0; // submissions accepted since this object was made
};

// The batch of uploads the author has going: it begins when a row is started while nothing
// else runs, takes in every row started meanwhile, and ends when each of its rows was either
// submitted or failed. A row paused or deleted leaves it. No widgets: the list feeds it.
class UploadBatch : public QObject
{
    Q_OBJECT

public:
    enum class RowState { Idle, Active, Failed };

    explicit UploadBatch(QObject* parent = nullptr);

    // A row's state and bytes as the list shows them (also for every progress report).
    void rowChanged(int id, RowState state, qint64 loaded, qint64 total, qint64 nowMs);
    // The site accepted the row's metadata.
    void rowSubmitted(int id, qint64 nowMs);
    // The row left the list (deleted, or gone after its submission).
    void rowRemoved(int id, qint64 nowMs);

    BatchFigures figures(qint64 nowMs);
    bool isRunning() const { return running; }

signals:
    void s_changed();
    // The last row of the batch was submitted or failed.
    void s_finished(int succeeded, int failed);
    // A row of the batch failed (once per failure).
    void s_rowFailed(int id);

private:
    struct Member
    {
        RowState state = RowState::Active;
        bool done = false;
        qint64 loaded = 0;
        qint64 total = 0;
        qint64 joinedAt = 0; // bytes it had when it joined
    };

    qint64 sentBytes() const;
    void leave(int id);
    void checkFinished();

    QMap<int, Member> members;
    bool running = false;
    int submittedCount = 0;
    // Bytes sent by rows that left the batch, so the running count never goes down.
    qint64 sentByGone = 0;
    TransferEstimate estimate;
};
