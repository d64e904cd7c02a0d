#include "runtime/memory_manager.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <time.h>

namespace {

constexpr uint64_t kHeaderBytes = 8;
constexpr uint64_t kMarker = 21;         // bits 58-63: top header byte reads 0x54
constexpr uint64_t kSizeMask = 0xFFFFFFFFull;
constexpr uint64_t kTypeShift = 32;
constexpr uint64_t kTypeMask = 0x3Full;
constexpr uint64_t kReservedMask = 0xFFFFFull << 38;
constexpr uint64_t kMarkerShift = 58;
// The reserved bits carry the generation of the manager that made the block,
// so a block that outlives its manager is never counted against a later one.
constexpr uint64_t kGenerationShift = 38;
constexpr uint32_t kGenerationLimit = 0xFFFFF; // 20 bits; 0 marks a block made without a manager

struct memory_type_record {
    uint8_t id;
    const char *type_name;
    uint8_t element_size;
    memory_type_record *next;
};

struct memory_event {
    uint32_t operation;
    int32_t bytes_in_use;
    int64_t seconds;
    int64_t nanoseconds;
    char *file;
    const char *function;
    uint32_t line;
    const char *type_name;
    uint64_t count;
    uint64_t element_size;
    memory_event *next;
    memory_event *tail;
};

struct memory_manager {
    uint32_t level;
    uint32_t generation; // 1 to kGenerationLimit, stamped into every block this manager counts
    // 32 bits wide: an 8-bit count would free the manager under live holders
    // once 256 handles exist at the same time.
    uint32_t retain_count;
    uint32_t bytes_in_use;
    uint32_t allocations_made;
    memory_event *events;
    memory_type_record *types;
};

memory_manager *g_manager = nullptr;
uint64_t g_overhead = 0;
// The generation of the latest manager. It wraps after about a million
// managers, so only a block that outlives as many could be taken for a new
// manager's own.
uint32_t g_last_generation = 0;

uint64_t g_fail_at = 0;
bool g_fail_persistent = false;
uint64_t g_requests_seen = 0;
bool g_fail_init = false;
void (*g_release_observer)(const void *, size_t) = nullptr;

// A plain memset right before free() is a dead store the optimiser may drop;
// calling through a volatile pointer keeps the wipe.
void *(*volatile g_wipe)(void *, int, size_t) = std::memset;

// Wipes a raw block, header included, and hands it back to the C library.
void wipe_and_free(void *raw, size_t n)
{
    g_wipe(raw, 0, n);
    if (g_release_observer != nullptr)
        g_release_observer(raw, n);
    std::free(raw);
}

bool injected_failure()
{
    ++g_requests_seen;
    if (g_fail_at == 0)
        return false;
    if (g_requests_seen == g_fail_at)
        return true;
    return g_fail_persistent && g_requests_seen > g_fail_at;
}

// count x element_size + header, refusing anything the 32-bit size field or the
// platform's size_t cannot hold: such a block would be handed out short.
bool block_bytes(uint64_t count, uint64_t element_size, uint64_t *size, size_t *total)
{
    if (element_size != 0 && count > UINT64_MAX / element_size)
        return false;
    const uint64_t s = count * element_size;
    if (s > kSizeMask)
        return false;
    if (s + kHeaderBytes > static_cast<uint64_t>(SIZE_MAX))
        return false;
    *size = s;
    *total = static_cast<size_t>(s + kHeaderBytes);
    return true;
}

uint64_t current_generation()
{
    return g_manager == nullptr ? 0 : g_manager->generation;
}

uint64_t make_header(uint64_t size, uint64_t type_id, uint64_t reserved)
{
    return (kMarker << kMarkerShift) | (reserved & kReservedMask) | ((type_id & kTypeMask) << kTypeShift) |
           (size & kSizeMask);
}

uint64_t read_header(const void *block)
{
    uint64_t h;
    std::memcpy(&h, static_cast<const unsigned char *>(block) - kHeaderBytes, sizeof h);
    return h;
}

// Whether the block was made by the manager alive now.
bool made_here(uint64_t header)
{
    return ((header & kReservedMask) >> kGenerationShift) == current_generation();
}

void write_header(void *raw, uint64_t h)
{
    std::memcpy(raw, &h, sizeof h);
}

bool at_level_high()
{
    return g_manager != nullptr && g_manager->level == TOVAN_MEMORY_MANAGER_LEVEL_HIGH;
}

bool logging()
{
    return g_manager != nullptr && g_manager->level != TOVAN_MEMORY_MANAGER_LEVEL_LOW;
}

uint8_t register_type(const char *type_name, uint64_t element_size)
{
    memory_type_record *last = nullptr;
    for (memory_type_record *r = g_manager->types; r != nullptr; r = r->next) {
        if (std::strcmp(r->type_name, type_name) == 0)
            return r->id;
        last = r;
    }
    // Ids above 63 would not fit the header's 6-bit field, and cut to 6 bits
    // they would name a record registered earlier. Such names go unregistered
    // and take id 0, as when a record cannot be allocated, so their frees are
    // logged under the first record's name.
    if (last != nullptr && last->id >= kTypeMask)
        return 0;
    auto *rec = static_cast<memory_type_record *>(std::calloc(1, sizeof(memory_type_record)));
    if (rec == nullptr)
        return 0;
    rec->id = last == nullptr ? 0 : static_cast<uint8_t>(last->id + 1);
    rec->type_name = type_name;
    rec->element_size = static_cast<uint8_t>(element_size);
    if (last == nullptr)
        g_manager->types = rec;
    else
        last->next = rec;
    g_overhead += sizeof(memory_type_record);
    return rec->id;
}

const memory_type_record *find_type(uint64_t id)
{
    for (const memory_type_record *r = g_manager->types; r != nullptr; r = r->next)
        if (r->id == id)
            return r;
    return nullptr;
}

void log_event(uint32_t operation, const char *file, const char *function, uint32_t line,
               const char *type_name, uint64_t count, uint64_t element_size)
{
    auto *ev = static_cast<memory_event *>(std::calloc(1, sizeof(memory_event)));
    if (ev == nullptr)
        return;
    const char *f = file != nullptr ? file : "";
    const size_t flen = std::strlen(f) + 1;
    ev->file = static_cast<char *>(std::calloc(flen, 1));
    if (ev->file == nullptr) {
        std::free(ev);
        return;
    }
    std::memcpy(ev->file, f, flen);
    g_overhead += sizeof(memory_event) + flen;

    // The C library's monotonic clock rather than the C++ one, whose runtime
    // part would otherwise be linked into the deliverable.
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    ev->seconds = static_cast<int64_t>(now.tv_sec);
    ev->nanoseconds = static_cast<int64_t>(now.tv_nsec);
    ev->operation = operation;
    ev->bytes_in_use = static_cast<int32_t>(g_manager->bytes_in_use);
    ev->function = function;
    ev->line = line;
    ev->type_name = type_name;
    ev->count = count;
    ev->element_size = element_size;

    if (g_manager->events == nullptr)
        g_manager->events = ev;
    else
        g_manager->events->tail->next = ev;
    g_manager->events->tail = ev;
}

} // namespace

bool memory_manager_init(uint32_t level)
{
    if (g_manager == nullptr) {
        g_manager = g_fail_init ? nullptr : static_cast<memory_manager *>(std::calloc(1, sizeof(memory_manager)));
        if (g_manager == nullptr)
            return false;
        g_overhead = 0;
        g_manager->level = level;
        g_last_generation = g_last_generation >= kGenerationLimit ? 1 : g_last_generation + 1;
        g_manager->generation = g_last_generation;
    }
    ++g_manager->retain_count;
    return true;
}

bool memory_manager_release()
{
    if (g_manager == nullptr) {
        std::fputs("The memory manager hasn't been initialised.\n", stderr);
        return false;
    }
    if (--g_manager->retain_count == 0) {
        for (memory_event *ev = g_manager->events; ev != nullptr;) {
            memory_event *next = ev->next;
            std::free(ev->file);
            std::free(ev);
            ev = next;
        }
        for (memory_type_record *r = g_manager->types; r != nullptr;) {
            memory_type_record *next = r->next;
            std::free(r);
            r = next;
        }
        std::free(g_manager);
        g_manager = nullptr;
        g_overhead = 0;
    }
    return true;
}

void *memory_manager_request(void *ptr, uint32_t operation, uint64_t count, uint64_t element_size,
                             const char *file, const char *function, uint32_t line, const char *type_name)
{
    int sign = 0;
    uint64_t delta = 0;
    // Cleared for a block this manager did not make: nobody counted it, or a
    // manager whose counters are gone did.
    bool counted = true;
    void *result = nullptr;
    uint64_t event_count = count;
    uint64_t event_element_size = element_size;
    const char *event_type = type_name;

    switch (operation) {
    case MEMORY_OPERATION_ALLOCATE: {
        const uint8_t type_id = at_level_high() ? register_type(type_name, element_size) : 0;
        uint64_t size = 0;
        size_t total = 0;
        if (!block_bytes(count, element_size, &size, &total) || injected_failure())
            return nullptr;
        void *raw = std::calloc(1, total);
        if (raw == nullptr)
            return nullptr;
        write_header(raw, make_header(size, type_id, current_generation() << kGenerationShift));
        sign = 1;
        delta = size;
        result = static_cast<unsigned char *>(raw) + kHeaderBytes;
        break;
    }
    case MEMORY_OPERATION_FREE: {
        if (ptr == nullptr)
            break;
        const uint64_t header = read_header(ptr);
        const uint64_t size = header & kSizeMask;
        counted = made_here(header);
        if (at_level_high()) {
            if (const memory_type_record *r = find_type((header >> kTypeShift) & kTypeMask)) {
                event_element_size = r->element_size;
                event_type = r->type_name;
            }
        }
        event_count = event_element_size == 0 ? 0 : size / event_element_size;
        void *raw = static_cast<unsigned char *>(ptr) - kHeaderBytes;
        wipe_and_free(raw, static_cast<size_t>(size + kHeaderBytes));
        sign = -1;
        delta = size;
        break;
    }
    case MEMORY_OPERATION_REALLOCATE: {
        if (ptr == nullptr)
            break;
        const uint64_t header = read_header(ptr);
        const uint64_t old_size = header & kSizeMask;
        const uint64_t type_id = (header >> kTypeShift) & kTypeMask;
        counted = made_here(header);
        if (at_level_high()) {
            if (const memory_type_record *r = find_type(type_id)) {
                event_element_size = r->element_size;
                event_type = r->type_name;
            }
        }
        uint64_t new_size = 0;
        size_t total = 0;
        if (!block_bytes(count, element_size, &new_size, &total) || injected_failure())
            return nullptr;
        // A fresh block, a copy and a wiped release of the old one, rather than
        // realloc: bytes handed back to the C library are always zeroed first,
        // and the old block stays untouched when the new one cannot be had.
        void *raw = std::calloc(1, total);
        if (raw == nullptr)
            return nullptr;
        void *old_raw = static_cast<unsigned char *>(ptr) - kHeaderBytes;
        const uint64_t keep = old_size < new_size ? old_size : new_size;
        std::memcpy(static_cast<unsigned char *>(raw) + kHeaderBytes, ptr, static_cast<size_t>(keep));
        write_header(raw, make_header(new_size, type_id, header));
        wipe_and_free(old_raw, static_cast<size_t>(old_size + kHeaderBytes));
        sign = new_size > old_size ? 1 : -1;
        delta = new_size > old_size ? new_size - old_size : old_size - new_size;
        result = static_cast<unsigned char *>(raw) + kHeaderBytes;
        break;
    }
    default:
        break;
    }

    if (g_manager == nullptr)
        return result;
    const uint32_t d32 = counted ? static_cast<uint32_t>(delta) : 0;
    if (sign > 0)
        g_manager->bytes_in_use += d32;
    else if (sign < 0)
        g_manager->bytes_in_use -= d32;
    if (operation != MEMORY_OPERATION_REALLOCATE && sign > 0)
        ++g_manager->allocations_made;
    if (logging())
        log_event(operation, file, function, line, event_type, event_count, event_element_size);
    return result;
}

uint32_t memory_manager_get_usage()
{
    return g_manager == nullptr ? 0xFFFFFFFFu : g_manager->bytes_in_use;
}

uint32_t memory_manager_get_header_bytes()
{
    return g_manager == nullptr ? 0xFFFFFFFFu : static_cast<uint32_t>(8u * g_manager->allocations_made);
}

uint64_t memory_manager_get_overhead()
{
    return g_overhead;
}

int memory_manager_export_csv(FILE *out)
{
    if (out == nullptr)
        return 1;
    if (g_manager == nullptr) {
        std::fputs("The memory manager hasn't been instantiated. Nothing will be exported in CSV format.\n", out);
        return 2;
    }
    if (g_manager->level == TOVAN_MEMORY_MANAGER_LEVEL_LOW) {
        std::fputs("The memory manager has been instantiated with TOVAN_MEMORY_MANAGER_LEVEL_LOW. Event details "
                   "haven't been recorded.\n",
                   out);
        return 3;
    }
    if (g_manager->level != TOVAN_MEMORY_MANAGER_LEVEL_HIGH)
        return 0;
    static const char *const names[] = {"Allocation", "Free", "Reallocation"};
    for (const memory_event *ev = g_manager->events; ev != nullptr; ev = ev->next) {
        const char *name = ev->operation < 3 ? names[ev->operation] : "Unknown";
        const double t = static_cast<double>(ev->seconds) + static_cast<double>(ev->nanoseconds) * 1e-9;
        // Fixed-width macros: long is 32 bits on the ARM and Windows targets.
        const int rc = std::fprintf(out, "%s,%f,%s,%s,%" PRIu32 ",%s,%" PRIu64 ",%" PRIu64 ",%" PRIu64 "\n", name, t,
                                    ev->file, ev->function != nullptr ? ev->function : "", ev->line,
                                    ev->type_name != nullptr ? ev->type_name : "", ev->count, ev->element_size,
                                    static_cast<uint64_t>(static_cast<int64_t>(ev->bytes_in_use)));
        if (rc < 0)
            return rc;
    }
    return 0;
}

void memory_manager_fail_at(uint64_t n, bool persistent)
{
    g_fail_at = n;
    g_fail_persistent = persistent;
    g_requests_seen = 0;
}

uint64_t memory_manager_requests_seen()
{
    return g_requests_seen;
}

void memory_manager_fail_init(bool fail)
{
    g_fail_init = fail;
}

void memory_manager_observe_release(void (*observer)(const void *raw, size_t bytes))
{
    g_release_observer = observer;
}
