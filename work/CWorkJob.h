#pragma once

#include "CRefCounted.h"
#include "IJobQueue.h"

// One waiting or running job. It holds a reference to its argument until it is released.
class CWorkJob : public CRefCounted
{
public:
    CWorkJob(JobFunction function, CRefCounted* argument)
        : m_function(function), m_argument(argument)
    {
    }
    void Run() const { m_function(m_argument.get()); }
    CRefCounted* Argument() const { return m_argument.get(); }

private:
    JobFunction m_function;
    CRefPtr<CRefCounted> m_argument;
};
