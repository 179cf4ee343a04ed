#pragma once

class CRefCounted;

// A job's work: a plain function of the job's argument (a channel or a news item).
using JobFunction = void (*)(CRefCounted* argument);

// Where background work is posted: list 0, 1 or 2, the lower served first; an urgent job
// goes to the head of its list. Callable from any thread.
class IJobQueue
{
public:
    virtual ~IJobQueue() = default;
    virtual void Post(JobFunction function, CRefCounted* argument, int list, bool urgent = false) = 0;
    virtual int PendingCount() const = 0;
    virtual int RunningCount() const = 0;
};
