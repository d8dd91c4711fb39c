// Where the program was last: one process-wide value that QVK_AT() sets at the statements that
// matter (each step of the workers, each handler of the wizard) and the crash report reads. One
// pointer store to a constant made at compile time, so a mark costs next to nothing and is
// never seen half-written.
#pragma once
#include <atomic>

namespace qvk {

struct SourceMark {
    const char* unit;
    int line;
};

// A source file's name without its folders.
constexpr const char* UnitName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

// The last mark of any thread; none before the first.
extern std::atomic<const SourceMark*> sourcePosition;

}  // namespace qvk

// A unit may give itself another name by defining QVK_SOURCE_UNIT before this header.
#ifndef QVK_SOURCE_UNIT
#define QVK_SOURCE_UNIT ::qvk::UnitName(__FILE__)
#endif

#define QVK_AT()                                                                          \
    do {                                                                                  \
        static constexpr ::qvk::SourceMark qvkMark{QVK_SOURCE_UNIT, __LINE__};            \
        ::qvk::sourcePosition.store(&qvkMark, std::memory_order_relaxed);                \
    } while (0)
