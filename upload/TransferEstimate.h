#pragma once

#include <QPair>
#include <QVector>

// Time left of a transfer from the bytes seen over the last seconds. The rate is a moving
// average over a window, and the figure shown moves towards each new reading gradually, so
// one quick or slow piece never makes it jump. While too little is known (the first seconds,
// or no bytes for a whole window) the estimate is unknown and nothing should be shown.
class TransferEstimate
{
public:
    static constexpr qint64 kWindowMs = 15000;
    // Less than this much history gives no estimate.
    static constexpr qint64 kMinSpanMs = 2000;

    // Forget everything (a pause, a new batch).
    void reset();
    // `sentBytes` is a running count of the bytes sent (it never goes down).
    void sample(qint64 nowMs, qint64 sentBytes);
    // Bytes per second over the samples of the window; -1 while unknown (also when no byte
    // came for a whole window).
    double rate(qint64 nowMs) const;
    // Seconds until `remainingBytes` more are sent, smoothed; -1 while unknown.
    qint64 secondsLeft(qint64 nowMs, qint64 remainingBytes);

private:
    QVector<QPair<qint64, qint64>> samples; // (ms, bytes), oldest first
    double shown = -1;
    qint64 shownAt = 0;
};
