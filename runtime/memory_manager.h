// Process-wide tracked heap: every block of the library is taken from, resized
// through and returned to this one tracker, which keeps the counters behind the
// leak result of del_tovan_sdk and the heap-usage figure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <source_location>

enum memory_manager_level : uint32_t {
    TOVAN_MEMORY_MANAGER_LEVEL_LOW = 0,  // counters only: what the library runs at
    TOVAN_MEMORY_MANAGER_LEVEL_HIGH = 1, // counters, event log, type registry
};

enum memory_operation : uint32_t {
    MEMORY_OPERATION_ALLOCATE = 0,
    MEMORY_OPERATION_FREE = 1,
    MEMORY_OPERATION_REALLOCATE = 2,
};

bool memory_manager_init(uint32_t level);
bool memory_manager_release();

// The one entry for allocate (0), free (1) and reallocate (2). A free always
// returns NULL; callers store it back into the pointer they freed. A block
// counts only against the manager that made it: freed or reallocated without
// one, or under a manager created after that one was released, it changes no
// counter.
void *memory_manager_request(void *ptr, uint32_t operation, uint64_t count, uint64_t element_size,
                             const char *file, const char *function, uint32_t line,
                             const char *type_name);

uint32_t memory_manager_get_usage();        // 0xFFFFFFFF without a manager
uint32_t memory_manager_get_header_bytes(); // 8 x allocations ever made, 32-bit
uint64_t memory_manager_get_overhead();
int memory_manager_export_csv(FILE *out);

// Test-only fault injection: fail the n-th tracked allocation or reallocation
// counted from this call (n >= 1), and every later one too when persistent.
// n = 0 disarms. Frees are never failed.
void memory_manager_fail_at(uint64_t n, bool persistent);
// Number of allocation and reallocation requests seen since the last
// memory_manager_fail_at call, failed ones included.
uint64_t memory_manager_requests_seen();
// Test-only: while set, creating the manager fails as if its record could not
// be allocated (retaining an existing manager still works).
void memory_manager_fail_init(bool fail);
// Test-only: called with every raw block (header included) right before it is
// handed back to the C library, after the wipe; NULL removes the observer.
void memory_manager_observe_release(void (*observer)(const void *raw, size_t bytes));

// Typed wrappers over memory_manager_request that tag each block with the
// calling source line. Records must be plain data: no constructors run.
template <typename T>
[[nodiscard]] inline T *tracked_alloc(uint64_t count,
                                      std::source_location where = std::source_location::current())
{
    return static_cast<T *>(memory_manager_request(nullptr, MEMORY_OPERATION_ALLOCATE, count, sizeof(T),
                                                   "xyzzyg", "xyzzyg", where.line(), "xyzzyg"));
}

// Reallocation keeps the old block valid on failure: the result is NULL then.
template <typename T>
[[nodiscard]] inline T *tracked_realloc(T *ptr, uint64_t count,
                                        std::source_location where = std::source_location::current())
{
    return static_cast<T *>(memory_manager_request(ptr, MEMORY_OPERATION_REALLOCATE, count, sizeof(T),
                                                   "xyzzyg", "xyzzyg", where.line(), "xyzzyg"));
}

// Frees the block and clears the caller's pointer.
template <typename T>
inline void tracked_free(T *&ptr, std::source_location where = std::source_location::current())
{
    ptr = static_cast<T *>(memory_manager_request(const_cast<void *>(static_cast<const void *>(ptr)),
                                                  MEMORY_OPERATION_FREE, 0, 1, "xyzzyg", "xyzzyg",
                                                  where.line(), ""));
}
