// Clang thread-safety attributes; empty on other compilers.
#pragma once

#if defined(__clang__)
#define QV_TSA(x) __attribute__((x))
#else
#define QV_TSA(x)
#endif

#define CAPABILITY(x) QV_TSA(capability(x))
#define SCOPED_CAPABILITY QV_TSA(scoped_lockable)
#define GUARDED_BY(x) QV_TSA(guarded_by(x))
#define PT_GUARDED_BY(x) QV_TSA(pt_guarded_by(x))
#define REQUIRES(...) QV_TSA(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QV_TSA(locks_excluded(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) QV_TSA(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) QV_TSA(acquired_after(__VA_ARGS__))
#define ACQUIRE(...) QV_TSA(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) QV_TSA(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) QV_TSA(release_capability(__VA_ARGS__))
#define RELEASE_GENERIC(...) QV_TSA(release_generic_capability(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS QV_TSA(no_thread_safety_analysis)
