#pragma once
// Owner of an open registry key: closed on destruction or reset.
#include <windows.h>

#include <utility>

namespace vtx {

class UniqueRegKey {
public:
    UniqueRegKey() noexcept = default;
    explicit UniqueRegKey(HKEY key) noexcept : m_key(key) {}
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_key, nullptr));
        }
        return *this;
    }
    ~UniqueRegKey() { reset(); }

    HKEY get() const noexcept { return m_key; }
    HKEY* put() noexcept {
        reset();
        return &m_key;
    }
    explicit operator bool() const noexcept { return m_key != nullptr; }
    void reset(HKEY key = nullptr) noexcept {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
        m_key = key;
    }

private:
    HKEY m_key = nullptr;
};

} // namespace vtx
