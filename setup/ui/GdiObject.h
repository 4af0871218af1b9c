#pragma once
// Owner of a font or brush: deleted on destruction or reset.
#include <windows.h>

#include <utility>

namespace vtx::setup {

class GdiObject {
public:
    GdiObject() noexcept = default;
    explicit GdiObject(HGDIOBJ object) noexcept : m_object(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_object, nullptr));
        }
        return *this;
    }
    ~GdiObject() { reset(); }

    HGDIOBJ get() const noexcept { return m_object; }
    HFONT font() const noexcept { return static_cast<HFONT>(m_object); }
    HBRUSH brush() const noexcept { return static_cast<HBRUSH>(m_object); }
    void reset(HGDIOBJ object = nullptr) noexcept {
        if (m_object != nullptr) {
            DeleteObject(m_object);
        }
        m_object = object;
    }

private:
    HGDIOBJ m_object = nullptr;
};

} // namespace vtx::setup
