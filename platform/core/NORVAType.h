#pragma once
// Owning handle of one polymorphic object. Move-only: handing a handle on
// hands the object over; there is never more than one owner.
#include <memory>
#include <utility>

template <class T>
class NORVAType {
public:
    NORVAType() = default;
    explicit NORVAType(T* p) : m_ptr(p) {}
    NORVAType(std::unique_ptr<T> p) : m_ptr(std::move(p)) {}
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    NORVAType(NORVAType<U>&& o) : m_ptr(o.release()) {}
    NORVAType(NORVAType&&) noexcept = default;
    NORVAType& operator=(NORVAType&&) noexcept = default;
    NORVAType(const NORVAType&) = delete;
    NORVAType& operator=(const NORVAType&) = delete;

    T* get() const { return m_ptr.get(); }
    T* operator->() const { return m_ptr.get(); }
    T& operator*() const { return *m_ptr; }
    explicit operator bool() const { return static_cast<bool>(m_ptr); }
    bool isNull() const { return !m_ptr; }
    T* release() { return m_ptr.release(); }
    void reset(T* p = nullptr) { m_ptr.reset(p); }
    std::unique_ptr<T> toUnique() { return std::move(m_ptr); }

private:
    std::unique_ptr<T> m_ptr;
};

template <class T, class... Args>
NORVAType<T> makeNORVAType(Args&&... args) {
    return NORVAType<T>(new T(std::forward<Args>(args)...));
}
