#pragma once

#include <cstdlib>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/Error.h"

namespace zelv4 {

// A value or the reason there is none, with the interface of C++23's std::expected
// (the parts this program uses), so that it can be swapped for it once every
// toolchain of ours has it: GCC 12 does in C++23 mode, Emscripten's libc++ does not.
// Nothing here throws: asking a failed Expected for its value, or a good one for its
// error, is a programming error and aborts.

template <typename E>
class Unexpected {
public:
    explicit Unexpected(E error) : m_error(std::move(error)) {}

    const E& error() const& { return m_error; }
    E& error() & { return m_error; }
    E&& error() && { return std::move(m_error); }

private:
    E m_error;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

// The usual way to fail: `return Fail(ErrorCode::FileFailed, "cannot open ...");`
inline Unexpected<Error> Fail(ErrorCode code, std::string message)
{
    return Unexpected<Error>(Error(code, std::move(message)));
}

template <typename T, typename E = Error>
class Expected {
public:
    using value_type = T;
    using error_type = E;

    Expected() requires std::is_default_constructible_v<T> : m_state(std::in_place_index<0>) {}
    template <typename U = T>
    requires(std::is_constructible_v<T, U&&> && !std::is_same_v<std::remove_cvref_t<U>, Expected> &&
             !std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>) Expected(U&& value)
        : m_state(std::in_place_index<0>, std::forward<U>(value))
    {}
    template <typename G>
    Expected(const Unexpected<G>& failure) : m_state(std::in_place_index<1>, failure.error())
    {}
    template <typename G>
    Expected(Unexpected<G>&& failure) : m_state(std::in_place_index<1>, std::move(failure).error())
    {}

    bool has_value() const noexcept { return m_state.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    T& value() &
    {
        Require(has_value());
        return std::get<0>(m_state);
    }
    const T& value() const&
    {
        Require(has_value());
        return std::get<0>(m_state);
    }
    T&& value() &&
    {
        Require(has_value());
        return std::get<0>(std::move(m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const&
    {
        Require(!has_value());
        return std::get<1>(m_state);
    }
    E& error() &
    {
        Require(!has_value());
        return std::get<1>(m_state);
    }
    E&& error() &&
    {
        Require(!has_value());
        return std::get<1>(std::move(m_state));
    }

    template <typename U>
    T value_or(U&& fallback) const&
    {
        return has_value() ? std::get<0>(m_state) : static_cast<T>(std::forward<U>(fallback));
    }
    template <typename U>
    T value_or(U&& fallback) &&
    {
        return has_value() ? std::get<0>(std::move(m_state)) : static_cast<T>(std::forward<U>(fallback));
    }

    // The next step on the value, or this failure passed on.
    template <typename F>
    auto and_then(F&& next) const&
    {
        using Result = std::remove_cvref_t<std::invoke_result_t<F, const T&>>;
        return has_value() ? std::forward<F>(next)(std::get<0>(m_state)) : Result(Unexpected<E>(error()));
    }

private:
    static void Require(bool holds)
    {
        if (!holds)
            std::abort();
    }

    std::variant<T, E> m_state;
};

template <typename E>
class Expected<void, E> {
public:
    using value_type = void;
    using error_type = E;

    Expected() = default;
    template <typename G>
    Expected(const Unexpected<G>& failure) : m_error(failure.error()), m_failed(true)
    {}
    template <typename G>
    Expected(Unexpected<G>&& failure) : m_error(std::move(failure).error()), m_failed(true)
    {}

    bool has_value() const noexcept { return !m_failed; }
    explicit operator bool() const noexcept { return has_value(); }
    void value() const
    {
        if (m_failed)
            std::abort();
    }

    const E& error() const&
    {
        if (!m_failed)
            std::abort();
        return m_error;
    }
    E&& error() &&
    {
        if (!m_failed)
            std::abort();
        return std::move(m_error);
    }

private:
    E m_error{};
    bool m_failed = false;
};

}  // namespace zelv4
