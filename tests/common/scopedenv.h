#pragma once

#include <QByteArray>
#include <QList>

#include <initializer_list>
#include <optional>
#include <utility>

namespace kelmor::test {

// Puts environment variables back as they were (set, empty or unset) when it goes out
// of scope, so that a test that changes HOME or KELMOR_LOG leaves no trace in the next.
class ScopedEnvironment
{
public:
    explicit ScopedEnvironment(std::initializer_list<const char *> names)
    {
        for (const char *name : names)
            m_saved.append({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                  : std::nullopt});
    }
    ~ScopedEnvironment()
    {
        for (const auto &[name, value] : std::as_const(m_saved))
            value ? void(qputenv(name, *value)) : void(qunsetenv(name));
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

    // Sets a variable; a null array unsets it.
    static void set(const char *name, const QByteArray &value)
    {
        value.isNull() ? void(qunsetenv(name)) : void(qputenv(name, value));
    }

private:
    QList<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

} // namespace kelmor::test
