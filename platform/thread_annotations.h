#pragma once
// Clang's thread-safety annotations: with -Wthread-safety the compiler checks
// that data marked GUARDED_BY(lock) is only touched while that lock is held.
// Other compilers see nothing.

#if defined(__clang__)
#define THREAD_ANNOTATION(x) __attribute__((x))
#else
#define THREAD_ANNOTATION(x)
#endif

// A class that is a lock.
#define CAPABILITY(name) THREAD_ANNOTATION(capability(name))
// A class whose objects hold a lock for their lifetime.
#define SCOPED_CAPABILITY THREAD_ANNOTATION(scoped_lockable)
// The member may be read or written only while the lock is held.
#define GUARDED_BY(lock) THREAD_ANNOTATION(guarded_by(lock))
// The data the member points to may be touched only while the lock is held.
#define PT_GUARDED_BY(lock) THREAD_ANNOTATION(pt_guarded_by(lock))
// The function takes the lock (or, in a scoped lock's constructor, the given one).
#define ACQUIRE(...) THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// The function releases the lock (or, in a scoped lock's destructor, the one it holds).
#define RELEASE(...) THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The caller must hold the lock.
#define REQUIRES(...) THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The caller must not hold the lock (the function takes it).
#define EXCLUDES(...) THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The analysis does not look into this function.
#define NO_THREAD_SAFETY_ANALYSIS THREAD_ANNOTATION(no_thread_safety_analysis)
