#include "upload/UploadBatch.h"

UploadBatch::UploadBatch(QObject* parent)
    : QObject(parent)
{
}

void UploadBatch::rowChanged(int id, RowState state, qint64 loaded, qint64 total, qint64 nowMs)
{
    auto it = members.find(id);
    switch (state) {
    case RowState::Active:
        if (!running) {
            members.clear();
            sentByGone = 0;
            estimate.reset();
            running = true;
            it = members.end();
        }
        if (it == members.end()) {
            Member m;
            m.loaded = loaded;
            m.total = total;
            m.joinedAt = loaded;
            members.insert(id, m);
        } else if (!it->done) {
            it->state = RowState::Active;
            it->loaded = qMax(it->loaded, loaded);
        }
        estimate.sample(nowMs, sentBytes());
        break;
    case RowState::Idle:
        if (it == members.end() || it->done)
            return;
        leave(id);
        checkFinished();
        break;
    case RowState::Failed:
        if (it == members.end() || it->done || it->state == RowState::Failed)
            return;
        it->state = RowState::Failed;
        it->loaded = qMax(it->loaded, loaded);
        emit s_rowFailed(id);
        checkFinished();
        break;
    }
    emit s_changed();
}

void UploadBatch::rowSubmitted(int id, qint64 nowMs)
{
    ++submittedCount;
    auto it = members.find(id);
    if (it != members.end() && !it->done) {
        it->done = true;
        it->state = RowState::Active;
        it->loaded = it->total;
        estimate.sample(nowMs, sentBytes());
        checkFinished();
    }
    emit s_changed();
}

void UploadBatch::rowRemoved(int id, qint64 nowMs)
{
    Q_UNUSED(nowMs)
    auto it = members.find(id);
    // A submitted row stays counted until the next batch.
    if (it == members.end() || it->done || !running)
        return;
    leave(id);
    checkFinished();
    emit s_changed();
}

BatchFigures UploadBatch::figures(qint64 nowMs)
{
    BatchFigures f;
    f.running = running;
    f.submitted = submittedCount;
    qint64 remaining = 0;
    for (const Member& m : qAsConst(members)) {
        ++f.files;
        f.done += m.done ? 1 : 0;
        f.failed += m.state == RowState::Failed ? 1 : 0;
        f.loaded += m.loaded;
        f.total += m.total;
        if (!m.done && m.state == RowState::Active)
            remaining += qMax<qint64>(0, m.total - m.loaded);
    }
    f.secondsLeft = running ? estimate.secondsLeft(nowMs, remaining) : -1;
    return f;
}

qint64 UploadBatch::sentBytes() const
{
    qint64 sent = sentByGone;
    for (const Member& m : members)
        sent += qMax<qint64>(0, m.loaded - m.joinedAt);
    return sent;
}

void UploadBatch::leave(int id)
{
    const Member m = members.take(id);
    sentByGone += qMax<qint64>(0, m.loaded - m.joinedAt);
}

void UploadBatch::checkFinished()
{
    if (!running)
        return;
    int done = 0;
    int failed = 0;
    for (const Member& m : qAsConst(members)) {
        if (m.done)
            ++done;
        else if (m.state == RowState::Failed)
            ++failed;
        else
            return; // still going
    }
    running = false;
    // Every row was paused or deleted: nothing to announce.
    if (done + failed > 0)
        emit s_finished(done, failed);
}
