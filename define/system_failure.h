// Why the last system call of a platform layer failed: the call's name and its errno. The
// layers still answer plain success or failure; this only keeps the reason for a log.
#pragma once

struct SystemFailure {
    const char* call = nullptr;  // e.g. "open", "ioctl(HIDIOCGFEATURE)"; nullptr: none yet
    int error = 0;               // errno after the call (0 when the call ran but fell short)
    unsigned long count = 0;     // failures so far, so that a reader notices a new one
};

// Records a failing call with the errno it left (or `error` when given).
inline void record_failure(SystemFailure& failure, const char* call, int error)
{
    failure.call = call;
    failure.error = error;
    ++failure.count;
}
