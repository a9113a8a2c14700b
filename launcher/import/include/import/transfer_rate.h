// TransferRate: how fast a step's bytes go, measured over its last seconds,
// and how long the bytes still to do take at that speed; and the line the
// progress dialog shows it in: "120.5 MB of 420.0 MB, 85.2 MB/s, about 4 s
// left". Pure: the caller reads the clock.
#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>

class TransferRate {
public:
    // The speed is measured over the last 10 s of samples, and only once
    // they span a second: sooner it says nothing.
    static constexpr qint64 kWindowMs = 10000;
    static constexpr qint64 kShortestSpanMs = 1000;

    // Forgets every sample, for a new step.
    void restart();

    // The step's bytes done at a time in milliseconds (from any start, never
    // going back).
    void add(qint64 msecs, qint64 bytesDone);

    // Bytes per second, or -1 while not known.
    double bytesPerSecond() const;

    // Whole seconds the remaining bytes take at that speed, rounded up, or
    // -1 while not known.
    qint64 secondsLeft(qint64 bytesLeft) const;

private:
    struct Sample {
        qint64 msecs;
        qint64 bytesDone;
    };
    std::deque<Sample> samples;
};

// "512 bytes", "1.5 kB", "120.5 MB" (1024-based, one decimal).
QString byteCountText(qint64 bytes);

// "about 12 s left" under a minute, else "about 3 min left".
QString timeLeftText(qint64 seconds);

// "<done> of <total>", then the speed and the time left when they are
// known (a rate or seconds below 0 are left out).
QString transferText(qint64 bytesDone, qint64 bytesTotal, double bytesPerSecond, qint64 secondsLeft);
