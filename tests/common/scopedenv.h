#pragma once

#include <QByteArray>
#include <QList>

#include <initializer_list>
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
            m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    }
    ~ScopedEnvironment()
    {
        for (const Saved &saved : std::as_const(m_saved)) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

    // Sets a variable; a null array unsets it.
    static void set(const char *name, const QByteArray &value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    struct Saved
    {
        const char *name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> m_saved;
};

} // namespace kelmor::test
