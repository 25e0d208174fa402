#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <thread>

// A token bucket shared by every connection of a listener: take(n) returns once n more
// bytes may pass at the configured rate. Between requests the bucket holds at most `burst`
// bytes, so a pause of the sender is not made up for later, as on a real link. Inside one
// body it may catch up to kCatchUp of lateness: the sender's bytes were waiting in the socket
// while this side slept too long (a real link keeps delivering into the receive buffer).
class Throttle
{
public:
    using Clock = std::chrono::steady_clock;

    Throttle(double bytesPerSecond, double burstBytes)
        : rate(bytesPerSecond)
        , burst(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(burstBytes / bytesPerSecond)))
        , even(Clock::now())
    {
    }

    static constexpr std::chrono::milliseconds kCatchUp { 20 };

    // When n bytes taken now may pass; advances the bucket. Separate from the wait for tests.
    // inBody: not the first read of a request body.
    Clock::time_point reserve(size_t n, Clock::time_point now, bool inBody = false)
    {
        std::lock_guard<std::mutex> lock(mutex);
        // `even` is the moment the bucket has paid for everything taken so far; a full
        // bucket lets it lag `burst` (kCatchUp inside a body) behind now, never more.
        const Clock::duration lag = inBody ? std::max<Clock::duration>(burst, kCatchUp) : burst;
        if (even < now - lag)
            even = now - lag;
        even += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(n) / rate));
        return even;
    }

    void take(size_t n, bool inBody)
    {
        const Clock::time_point now = Clock::now();
        const Clock::time_point due = reserve(n, now, inBody);
        if (due > now)
            std::this_thread::sleep_until(due);
    }

    double bytesPerSecond() const { return rate; }

private:
    std::mutex mutex;
    const double rate;
    const Clock::duration burst;
    Clock::time_point even;
};
