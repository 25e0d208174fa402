#include "upload/TransferEstimate.h"

#include <cmath>

namespace {

// How fast the shown figure follows the readings: after this many seconds it has moved
// about two thirds of the way to a new reading.
constexpr double kFollowSecs = 4.0;

} // namespace

void TransferEstimate::reset()
{
    samples.clear();
    shown = -1;
    shownAt = 0;
}

void TransferEstimate::sample(qint64 nowMs, qint64 sentBytes)
{
    if (!samples.isEmpty()) {
        const auto& last = samples.constLast();
        // After a whole window without a byte the old pace says nothing about the new one.
        if (nowMs - last.first > kWindowMs) {
            samples.clear();
            shown = -1;
        } else if (sentBytes < last.second || nowMs < last.first) {
            return;
        }
    }
    samples.append({ nowMs, sentBytes });
    // Keep the window plus the one sample just before it, which anchors its start.
    while (samples.size() > 2 && samples.at(1).first <= nowMs - kWindowMs)
        samples.removeFirst();
}

double TransferEstimate::rate(qint64 nowMs) const
{
    if (samples.size() < 2)
        return -1;
    const auto& first = samples.constFirst();
    const auto& last = samples.constLast();
    if (nowMs - last.first > kWindowMs)
        return -1; // stalled
    // Between the samples only: a pause between two pieces is no slowdown yet.
    const qint64 span = last.first - first.first;
    if (span < kMinSpanMs)
        return -1;
    const double bytes = double(last.second - first.second);
    return bytes > 0 ? bytes * 1000.0 / double(span) : -1;
}

qint64 TransferEstimate::secondsLeft(qint64 nowMs, qint64 remainingBytes)
{
    const double r = rate(nowMs);
    if (r <= 0 || remainingBytes < 0) {
        shown = -1;
        return -1;
    }
    const double reading = double(remainingBytes) / r;
    if (shown < 0) {
        shown = reading;
    } else {
        // The last figure counts down on its own and moves towards the new reading.
        const double dt = double(qMax<qint64>(0, nowMs - shownAt)) / 1000.0;
        const double predicted = qMax(0.0, shown - dt);
        const double follow = 1.0 - std::exp(-dt / kFollowSecs);
        shown = predicted + follow * (reading - predicted);
    }
    shownAt = nowMs;
    if (remainingBytes == 0)
        shown = 0;
    return qint64(std::ceil(shown));
}
