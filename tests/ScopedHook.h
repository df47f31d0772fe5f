#pragma once

#include <type_traits>
#include <utility>

// Puts a process-wide test hook in place for the life of one object and
// restores the one it replaced when the object goes, however the scope ends.
// The setter takes the new hook and returns the previous one.
template <typename Hook>
class ScopedHook
{
public:
    using Setter = Hook (*)(Hook);
    ScopedHook(Setter set, std::type_identity_t<Hook> hook) : m_set(set), m_previous(set(std::move(hook))) {}
    ~ScopedHook() { m_set(std::move(m_previous)); }
    ScopedHook(const ScopedHook &) = delete;
    ScopedHook &operator=(const ScopedHook &) = delete;

private:
    Setter m_set;
    Hook m_previous;
};
