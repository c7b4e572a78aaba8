// Sets the TZ environment variable for a scope, so that a test can check
// local-time conversions in chosen time zones; the old value comes back after.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char *zone)
    {
        const char *old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            ::setenv("TZ", m_old.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool m_had = false;
    std::string m_old;
};
