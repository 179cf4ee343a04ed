#pragma once

#include <atomic>
#include <type_traits>
#include <utility>

// Base of everything shared between threads by counted references (tree nodes, jobs).
// The count starts at 1: the creator owns the first reference.
class CRefCounted
{
public:
    CRefCounted() = default;
    CRefCounted(const CRefCounted&) = delete;
    CRefCounted& operator=(const CRefCounted&) = delete;

    void AddRef() const noexcept { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() const noexcept
    {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    // Adds a reference unless the count has already reached zero (the object is being
    // destroyed). For links that do not own the object, such as a child's link to its parent.
    bool TryAddRef() const noexcept
    {
        long refs = m_refs.load(std::memory_order_relaxed);
        do {
            if (refs == 0)
                return false;
        } while (!m_refs.compare_exchange_weak(refs, refs + 1, std::memory_order_acquire,
                                               std::memory_order_relaxed));
        return true;
    }
    long RefCount() const noexcept { return m_refs.load(std::memory_order_relaxed); }

protected:
    virtual ~CRefCounted() = default;

private:
    mutable std::atomic<long> m_refs{1};
};

// Owning reference to a CRefCounted object.
template <class T>
class CRefPtr
{
public:
    CRefPtr() noexcept = default;
    CRefPtr(std::nullptr_t) noexcept {}
    // Takes a new reference to p.
    explicit CRefPtr(T* p) noexcept : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CRefPtr(const CRefPtr& o) noexcept : CRefPtr(o.m_p) {}
    CRefPtr(CRefPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    // Only towards a base: going down to a kind takes a checked cast (NodeCast).
    template <class U>
        requires std::is_convertible_v<U*, T*>
    CRefPtr(const CRefPtr<U>& o) noexcept : CRefPtr(static_cast<T*>(o.get()))
    {
    }
    ~CRefPtr() { reset(); }

    CRefPtr& operator=(CRefPtr o) noexcept
    {
        std::swap(m_p, o.m_p);
        return *this;
    }

    // Adopts the creator's reference of a freshly made object: CRefPtr<X>::Adopt(new X).
    static CRefPtr Adopt(T* p) noexcept
    {
        CRefPtr r;
        r.m_p = p;
        return r;
    }
    template <class... A>
    static CRefPtr Make(A&&... args)
    {
        return Adopt(new T(std::forward<A>(args)...));
    }

    void reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    // Gives up ownership without releasing.
    T* detach() noexcept { return std::exchange(m_p, nullptr); }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    friend bool operator==(const CRefPtr& a, const CRefPtr& b) noexcept { return a.m_p == b.m_p; }

private:
    T* m_p = nullptr;
};
