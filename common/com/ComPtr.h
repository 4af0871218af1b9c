#pragma once
// Owning COM interface pointer (one reference).
#include <unknwn.h>

#include <utility>

namespace vtx {

template <class T> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    explicit ComPtr(T* p) noexcept : m_p(p) {
        if (m_p != nullptr) {
            m_p->AddRef();
        }
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    static ComPtr Attach(T* p) noexcept {
        ComPtr c;
        c.m_p = p;
        return c;
    }
    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* detach() noexcept { return std::exchange(m_p, nullptr); }
    void reset() noexcept {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }

private:
    T* m_p = nullptr;
};

} // namespace vtx
