#pragma once
// Process-wide single object of a class: the class derives from Singleton<T>.

#include <atomic>
#include "platform/log.h"

template <typename T>
class Singleton {
public:
    // The one object, or nullptr while none exists.
    static T* instance()
    {
        Singleton* object = s_instance.load();
        return object ? static_cast<T*>(object) : nullptr;
    }

protected:
    // Registers this object; a second one ends the process.
    Singleton()
    {
        Singleton* expected = nullptr;
        if (!s_instance.compare_exchange_strong(expected, this))
            fatal_error("Singleton is already instantiated", "Singleton::Singleton()");
    }
    ~Singleton() { s_instance.store(nullptr); }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

private:
    static inline std::atomic<Singleton*> s_instance{nullptr};
};
