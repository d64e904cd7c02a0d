#include "runtime/memory_manager.h"

#include "support/memory_fixture.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kNoManager = 0xFFFFFFFFu;

// These tests need the manager to be theirs alone: each starts from none and
// gives back every hold it took.
bool manager_exists()
{
    return memory_manager_get_header_bytes() != kNoManager;
}

void *request(void *ptr, uint32_t op, uint64_t count, uint64_t element_size, const char *type = "xyzzyg",
              const char *file = "xyzzyg", const char *function = "xyzzyg", uint32_t line = 1)
{
    return memory_manager_request(ptr, op, count, element_size, file, function, line, type);
}

void *allocate(uint64_t count, uint64_t element_size, const char *type = "xyzzyg")
{
    return request(nullptr, MEMORY_OPERATION_ALLOCATE, count, element_size, type);
}

void *release(void *ptr)
{
    return request(ptr, MEMORY_OPERATION_FREE, 0, 1, "");
}

uint64_t header_of(const void *block)
{
    uint64_t h;
    std::memcpy(&h, static_cast<const unsigned char *>(block) - 8, sizeof h);
    return h;
}

// Everything written to a stream, read back as text.
struct captured_stream {
    FILE *file = std::tmpfile();
    ~captured_stream() { std::fclose(file); }
    std::string text() const
    {
        std::fflush(file);
        std::rewind(file);
        std::string s;
        for (int c; (c = std::fgetc(file)) != EOF;)
            s.push_back(static_cast<char>(c));
        return s;
    }
};

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

// The CSV time column replaced by T, so lines compare exactly; a column that
// is not "%f" text (digits, a point, six digits) is left for the comparison
// to show.
std::string without_time(const std::string &line)
{
    const size_t start = line.find(',');
    const size_t end = start == std::string::npos ? start : line.find(',', start + 1);
    if (end == std::string::npos)
        return line;
    const std::string time = line.substr(start + 1, end - start - 1);
    const size_t point = time.find('.');
    if (point == std::string::npos || point == 0 || time.size() - point != 7 ||
        time.find_first_not_of("0123456789.") != std::string::npos || time.find('.', point + 1) != std::string::npos)
        return line;
    return line.substr(0, start) + ",T" + line.substr(end);
}

class MemoryManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(manager_exists()) << "another holder is still alive"; }
    void TearDown() override
    {
        memory_manager_fail_at(0, false);
        memory_manager_fail_init(false);
        memory_manager_observe_release(nullptr);
        while (manager_exists())
            memory_manager_release();
    }
};

TEST_F(MemoryManagerTest, CountersFollowEveryRequest)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    EXPECT_EQ(memory_manager_get_usage(), 0u);
    EXPECT_EQ(memory_manager_get_header_bytes(), 0u);

    void *block = allocate(25, 4);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(memory_manager_get_usage(), 100u);
    EXPECT_EQ(memory_manager_get_header_bytes(), 8u);
    EXPECT_EQ(release(block), nullptr);
    EXPECT_EQ(memory_manager_get_usage(), 0u);
    EXPECT_EQ(memory_manager_get_header_bytes(), 8u) << "the allocation count never goes down";

    void *empty = allocate(0, 16);
    ASSERT_NE(empty, nullptr) << "an empty block is still a block";
    EXPECT_EQ(header_of(empty) & 0xFFFFFFFFu, 0u);
    EXPECT_EQ(memory_manager_get_usage(), 0u);
    EXPECT_EQ(memory_manager_get_header_bytes(), 16u);
    release(empty);

    struct {
        const char *name;
        void *ptr;
        uint32_t op;
    } const no_ops[] = {
        {"free NULL", nullptr, MEMORY_OPERATION_FREE},
        {"reallocate NULL", nullptr, MEMORY_OPERATION_REALLOCATE},
        {"unknown operation", nullptr, 7},
    };
    for (const auto &c : no_ops) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(request(c.ptr, c.op, 10, 4), nullptr);
        EXPECT_EQ(memory_manager_get_usage(), 0u);
        EXPECT_EQ(memory_manager_get_header_bytes(), 16u);
    }
    EXPECT_EQ(memory_manager_get_overhead(), 0u) << "nothing is logged at level LOW";
}

TEST_F(MemoryManagerTest, HeaderCarriesSizeTypeAndMarker)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_HIGH));
    struct {
        uint64_t count;
        uint64_t element_size;
        const char *type;
        uint64_t type_id;
    } const cases[] = {
        {1, 1, "alpha", 0}, {3, 4, "beta", 1}, {10, 8, "alpha", 0}, {0, 2, "gamma", 2}, {1000, 3, "beta", 1},
    };
    uint64_t generation = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        void *block = allocate(c.count, c.element_size, c.type);
        ASSERT_NE(block, nullptr);
        const uint64_t h = header_of(block);
        EXPECT_EQ(h >> 56, 0x54u);
        EXPECT_EQ(h & 0xFFFFFFFFu, c.count * c.element_size);
        EXPECT_EQ((h >> 32) & 0x3F, c.type_id);
        // The reserved bits name the manager that made the block: the same
        // for all of one manager's blocks, never the 0 of a manager-less one.
        EXPECT_NE((h >> 38) & 0xFFFFF, 0u);
        if (generation != 0) {
            EXPECT_EQ((h >> 38) & 0xFFFFF, generation);
        }
        generation = (h >> 38) & 0xFFFFF;
        release(block);
    }
}

TEST_F(MemoryManagerTest, TypeIdsStopAtTheHeaderFieldWidth)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_HIGH));
    static char names[70][8];
    for (int i = 0; i < 70; ++i) {
        std::snprintf(names[i], sizeof names[i], "t%d", i);
        void *block = allocate(1, 1, names[i]);
        ASSERT_NE(block, nullptr);
        // Ids above 63 would not fit the 6-bit field: those names stay
        // unregistered, with id 0.
        EXPECT_EQ((header_of(block) >> 32) & 0x3F, i < 64 ? static_cast<uint64_t>(i) : 0u) << names[i];
        release(block);
    }
}

TEST_F(MemoryManagerTest, ReallocateKeepsContentsAndCountsTheDifference)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_HIGH));
    release(allocate(1, 1, "first"));
    auto *block = static_cast<uint8_t *>(allocate(16, 1, "bytes"));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i)
        block[i] = static_cast<uint8_t>(i + 1);
    const uint64_t reserved = header_of(block) & (0xFFFFFull << 38);

    struct {
        uint64_t count;
        uint32_t usage;
    } const steps[] = {{40, 40}, {40, 40}, {8, 8}, {64, 64}, {0, 0}, {5, 5}};
    uint64_t kept = 16;
    for (const auto &s : steps) {
        SCOPED_TRACE(s.count);
        auto *moved = static_cast<uint8_t *>(request(block, MEMORY_OPERATION_REALLOCATE, s.count, 1));
        ASSERT_NE(moved, nullptr);
        block = moved;
        kept = kept < s.count ? kept : s.count;
        for (uint64_t i = 0; i < s.count; ++i)
            ASSERT_EQ(block[i], i < kept ? i + 1 : 0) << "byte " << i;
        const uint64_t h = header_of(block);
        EXPECT_EQ(h & 0xFFFFFFFFu, s.count);
        EXPECT_EQ((h >> 32) & 0x3F, 1u) << "the type id stays with the block";
        EXPECT_EQ(h & (0xFFFFFull << 38), reserved) << "the reserved bits stay with the block";
        EXPECT_EQ(h >> 58, 21u);
        EXPECT_EQ(memory_manager_get_usage(), s.usage);
        EXPECT_EQ(memory_manager_get_header_bytes(), 16u) << "reallocation is no new allocation";
    }
    release(block);
    EXPECT_EQ(memory_manager_get_usage(), 0u);
}

TEST_F(MemoryManagerTest, OversizedRequestsFailLikeAnExhaustedHeap)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    void *block = allocate(4, 1);
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abcd", 4);
    struct {
        const char *name;
        uint64_t count;
        uint64_t element_size;
    } const cases[] = {
        {"product overflows 64 bits", UINT64_MAX / 2 + 1, 2},
        {"size + header overflows", UINT64_MAX, 1},
        {"size needs 33 bits", 1ull << 32, 1},
        {"product needs 33 bits", 0x80000000ull, 2},
        {"large element size", 2, 0x80000000ull},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(allocate(c.count, c.element_size), nullptr);
        EXPECT_EQ(request(block, MEMORY_OPERATION_REALLOCATE, c.count, c.element_size), nullptr);
        EXPECT_EQ(std::memcmp(block, "abcd", 4), 0) << "the old block stays valid";
        EXPECT_EQ(header_of(block) & 0xFFFFFFFFu, 4u);
        EXPECT_EQ(memory_manager_get_usage(), 4u);
        EXPECT_EQ(memory_manager_get_header_bytes(), 8u);
    }
    release(block);
}

std::vector<std::vector<uint8_t>> g_released;

void remember_release(const void *raw, size_t bytes)
{
    const auto *p = static_cast<const uint8_t *>(raw);
    g_released.emplace_back(p, p + bytes);
}

TEST_F(MemoryManagerTest, BlocksAreWipedBeforeTheyAreHandedBack)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    g_released.clear();
    memory_manager_observe_release(remember_release);

    auto *a = static_cast<uint8_t *>(allocate(100, 1));
    ASSERT_NE(a, nullptr);
    std::memset(a, 0xAB, 100);
    release(a);
    // A reallocation hands the old block back too.
    auto *b = static_cast<uint8_t *>(allocate(10, 1));
    ASSERT_NE(b, nullptr);
    std::memset(b, 0xCD, 10);
    b = static_cast<uint8_t *>(request(b, MEMORY_OPERATION_REALLOCATE, 30, 1));
    ASSERT_NE(b, nullptr);
    release(b);
    memory_manager_observe_release(nullptr);

    const size_t sizes[] = {108, 18, 38};
    ASSERT_EQ(g_released.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g_released[i].size(), sizes[i]) << "header and block";
        EXPECT_EQ(g_released[i], std::vector<uint8_t>(sizes[i], 0));
    }
}

TEST_F(MemoryManagerTest, FaultInjectionFailsTheChosenRequests)
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    struct {
        bool persistent;
        bool expect_ok[4];
    } const cases[] = {{false, {true, false, true, true}}, {true, {true, false, false, false}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.persistent ? "persistent" : "transient");
        memory_manager_fail_at(2, c.persistent);
        void *kept = allocate(8, 1);
        ASSERT_NE(kept, nullptr);
        for (int i = 1; i < 4; ++i) {
            void *p = i == 2 ? request(kept, MEMORY_OPERATION_REALLOCATE, 16, 1) : allocate(8, 1);
            EXPECT_EQ(p != nullptr, c.expect_ok[i]) << "request " << i + 1;
            if (p != nullptr && i == 2)
                kept = p;
            else
                release(p);
        }
        EXPECT_EQ(memory_manager_requests_seen(), 4u);
        EXPECT_EQ(release(kept), nullptr) << "frees never fail";
        memory_manager_fail_at(0, false);
        EXPECT_EQ(memory_manager_get_usage(), 0u) << "failed requests count nothing";
    }
}

TEST_F(MemoryManagerTest, LifecycleKeepsTheFirstLevelAndCountsHolders)
{
    captured_stream out;
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    void *block = allocate(10, 1);
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_HIGH));
    EXPECT_EQ(memory_manager_export_csv(out.file), 3) << "the first holder decided the level";
    EXPECT_EQ(memory_manager_get_usage(), 10u) << "both holders see one set of counters";

    EXPECT_TRUE(memory_manager_release());
    EXPECT_TRUE(manager_exists());
    EXPECT_TRUE(memory_manager_release());
    EXPECT_FALSE(manager_exists());
    EXPECT_EQ(memory_manager_get_usage(), kNoManager);
    EXPECT_EQ(memory_manager_get_header_bytes(), kNoManager);

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(memory_manager_release());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "The memory manager hasn't been initialised.\n");

    // A block outliving its manager stays valid and is released uncounted.
    std::memset(block, 1, 10);
    EXPECT_EQ(release(block), nullptr);

    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    EXPECT_EQ(memory_manager_get_usage(), 0u) << "a new manager starts from zero";
    EXPECT_EQ(memory_manager_get_header_bytes(), 0u);
    EXPECT_TRUE(memory_manager_release());
}

TEST_F(MemoryManagerTest, BlocksCountOnlyAgainstTheManagerThatMadeThem)
{
    // A block handed to the caller may be freed after the manager that made
    // it is gone, under a new one: that manager never counted it.
    struct {
        const char *name;
        bool made_by_a_manager;
        uint32_t op;
    } const cases[] = {
        {"earlier manager, freed", true, MEMORY_OPERATION_FREE},
        {"earlier manager, reallocated", true, MEMORY_OPERATION_REALLOCATE},
        {"no manager, freed", false, MEMORY_OPERATION_FREE},
        {"no manager, reallocated", false, MEMORY_OPERATION_REALLOCATE},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.made_by_a_manager) {
            ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
        }
        void *foreign = allocate(100, 1);
        ASSERT_NE(foreign, nullptr);
        if (c.made_by_a_manager) {
            EXPECT_TRUE(memory_manager_release());
        }

        ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
        void *own = allocate(10, 1);
        ASSERT_NE(own, nullptr);
        foreign = request(foreign, c.op, 300, 1);
        EXPECT_EQ(memory_manager_get_usage(), 10u) << "only the manager's own block counts";
        if (foreign != nullptr) {
            foreign = request(foreign, MEMORY_OPERATION_REALLOCATE, 50, 1);
            ASSERT_NE(foreign, nullptr);
            EXPECT_EQ(memory_manager_get_usage(), 10u) << "a reallocated block stays foreign";
            release(foreign);
            EXPECT_EQ(memory_manager_get_usage(), 10u);
        }
        release(own);
        EXPECT_EQ(memory_manager_get_usage(), 0u);
        EXPECT_EQ(memory_manager_get_header_bytes(), 8u);
        EXPECT_TRUE(memory_manager_release());
    }
}

TEST_F(MemoryManagerTest, RetainCountHoldsMoreThan255Holders)
{
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    for (int i = 0; i < 299; ++i)
        ASSERT_TRUE(memory_manager_release());
    EXPECT_TRUE(manager_exists()) << "one holder is left";
    EXPECT_TRUE(memory_manager_release());
    EXPECT_FALSE(manager_exists());
}

TEST_F(MemoryManagerTest, FailedCreationLeavesRequestsUncounted)
{
    memory_manager_fail_init(true);
    EXPECT_FALSE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    EXPECT_FALSE(manager_exists());
    void *block = allocate(10, 1);
    ASSERT_NE(block, nullptr) << "requests keep working without a manager";
    EXPECT_EQ(header_of(block) >> 56, 0x54u);
    release(block);
    memory_manager_fail_init(false);
}

TEST_F(MemoryManagerTest, ExportCsvAnswersForEachLevel)
{
    EXPECT_EQ(memory_manager_export_csv(nullptr), 1);
    struct {
        const char *name;
        bool create;
        uint32_t level;
        int result;
        const char *text;
    } const cases[] = {
        {"no manager", false, 0, 2,
         "The memory manager hasn't been instantiated. Nothing will be exported in CSV format.\n"},
        {"level LOW", true, TOVAN_MEMORY_MANAGER_LEVEL_LOW, 3,
         "The memory manager has been instantiated with TOVAN_MEMORY_MANAGER_LEVEL_LOW. Event details haven't "
         "been recorded.\n"},
        {"level 2", true, 2, 0, ""},
        {"level 77", true, 77, 0, ""},
        {"level HIGH, no events", true, TOVAN_MEMORY_MANAGER_LEVEL_HIGH, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.create) {
            ASSERT_TRUE(memory_manager_init(c.level));
        }
        captured_stream out;
        EXPECT_EQ(memory_manager_export_csv(out.file), c.result);
        EXPECT_EQ(out.text(), c.text);
        if (c.create)
            memory_manager_release();
    }
}

TEST_F(MemoryManagerTest, HighLevelLogsEveryRequestAsCsv)
{
    // Made before the manager: its free is logged, under the first
    // registered type (its type id is 0), but counts nothing.
    void *orphan = allocate(100, 1);
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_HIGH));
    void *a = request(nullptr, 0, 3, 4, "alpha", "src/some/file.cpp", "make_alpha", 42);
    ASSERT_NE(a, nullptr);
    void *b = request(nullptr, 0, 2, 8, "beta", "b.cpp", "make_beta", 7);
    a = request(a, 2, 5, 4, "ignored", "r.cpp", "grow", 9);
    ASSERT_NE(a, nullptr);
    request(b, 1, 0, 1, "", "f.cpp", "drop_beta", 11);
    request(nullptr, 1, 0, 1, "", "n.cpp", "drop_null", 12);
    request(a, 1, 0, 1, "", "f.cpp", "drop_alpha", 13);
    request(orphan, 1, 0, 1, "", "o.cpp", "drop_orphan", 14);
    // Not logged: a failed allocation.
    EXPECT_EQ(request(nullptr, 0, 1ull << 40, 1, "huge", "h.cpp", "huge", 15), nullptr);
    EXPECT_GT(memory_manager_get_overhead(), 0u) << "records, events and file copies are bookkeeping";

    captured_stream out;
    ASSERT_EQ(memory_manager_export_csv(out.file), 0);
    const std::vector<std::string> expected = {
        "Allocation,T,src/some/file.cpp,make_alpha,42,alpha,3,4,12",
        "Allocation,T,b.cpp,make_beta,7,beta,2,8,28",
        "Reallocation,T,r.cpp,grow,9,alpha,5,4,36",
        "Free,T,f.cpp,drop_beta,11,beta,2,8,20",
        "Free,T,n.cpp,drop_null,12,,0,1,20",
        "Free,T,f.cpp,drop_alpha,13,alpha,5,4,0",
        "Free,T,o.cpp,drop_orphan,14,alpha,25,4,0",
    };
    const std::vector<std::string> lines = lines_of(out.text());
    ASSERT_EQ(lines.size(), expected.size()) << out.text();
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(without_time(lines[i]), expected[i]) << "raw line: " << lines[i];

    EXPECT_TRUE(memory_manager_release());
    EXPECT_EQ(memory_manager_get_overhead(), 0u) << "the last release frees the bookkeeping";
}

TEST_F(MemoryManagerTest, OtherLevelsLogWithoutRegistry)
{
    ASSERT_TRUE(memory_manager_init(2));
    void *block = allocate(4, 4, "alpha");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ((header_of(block) >> 32) & 0x3F, 0u) << "no type registry below HIGH";
    const uint64_t after_one = memory_manager_get_overhead();
    EXPECT_GT(after_one, 0u) << "the event is logged";
    release(block);
    EXPECT_GT(memory_manager_get_overhead(), after_one);
}

// The fixture used by every other subsystem's tests: a leak inside it fails.
TEST(TrackedHeapFixtureTest, SweepReportsAllocationCount)
{
    const uint64_t total = sweep_allocation_failures([] {
        void *a = allocate(1, 1);
        void *b = allocate(1, 1);
        const bool ok = a != nullptr && b != nullptr;
        release(a);
        release(b);
        return ok;
    });
    EXPECT_EQ(total, 2u);
}

} // namespace
