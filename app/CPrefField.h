#pragma once

#include <atomic>

// One field of the preferences record. The window thread writes fields one at a time
// while workers read them without a lock; each field is atomic so readers always see
// either the old or the new value.
template <class T>
class CPrefField
{
public:
    constexpr CPrefField(T v = T()) noexcept : m_v(v) {}
    CPrefField(const CPrefField& o) noexcept : m_v(o.load()) {}
    CPrefField& operator=(const CPrefField& o) noexcept
    {
        store(o.load());
        return *this;
    }
    CPrefField& operator=(T v) noexcept
    {
        store(v);
        return *this;
    }
    operator T() const noexcept { return load(); }
    T load() const noexcept { return m_v.load(std::memory_order_relaxed); }
    void store(T v) noexcept { m_v.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> m_v;
};
