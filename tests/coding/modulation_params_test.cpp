#include "coding/modulation_params.h"

#include "support/memory_fixture.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

struct Values {
    uint8_t channels = 1;
    uint8_t count = 2;
    const char *pattern = nullptr;
    float base = 1760.0f, spacing = 0.0f, gap = 0.0f, fd = 0.0872f, sd = 0.0872f;
    float attack = 0.015f, release = 0.015f, glide = 0.005f, fd_gap = 0.0f, sd_gap = 0.0f;
};

modulation_params *make(const Values &v)
{
    return new_modulation_params(v.channels, TOVAN_DEFAULT_FRONTDOOR, v.count, v.pattern, v.base, v.spacing,
                                 v.gap, v.fd, v.sd, v.attack, v.release, v.glide, v.fd_gap, v.sd_gap);
}

} // namespace

class ModulationParamsTest : public TrackedHeapTest {};

TEST_F(ModulationParamsTest, ConstructorChecks)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string long_pattern(256, '1');
    struct Case {
        const char *what;
        Values v;
        bool ok;
    };
    auto with = [](auto change) {
        Values v;
        change(v);
        return v;
    };
    const Case cases[] = {
        {"default", Values{}, true},
        {"base 20", with([](Values &v) { v.base = 20.0f; }), false},
        {"base just above 20", with([](Values &v) { v.base = 20.000002f; }), true},
        {"base NaN", with([&](Values &v) { v.base = nan; }), false},
        {"channels 0", with([](Values &v) { v.channels = 0; }), false},
        {"channels 9", with([](Values &v) { v.channels = 9; }), false},
        {"channels 8", with([](Values &v) { v.channels = 8; }), true},
        {"envelope fills the slot",
         with([](Values &v) { v.sd = 0.25f, v.attack = 0.125f, v.release = 0.0625f, v.sd_gap = 0.0625f; }), true},
        {"envelope over the slot",
         with([](Values &v) { v.sd = 0.25f, v.attack = 0.125f, v.release = 0.0625f, v.sd_gap = 0.0625001f; }),
         false},
        // Summed in order, (attack + release) + gap: 0.015 + 0.015 + 0.02
        // gives one step below 0.05f, the other grouping 0.05f itself;
        // 0.015 + 0.015 + 0.3 gives one step above 0.33f, the other 0.33f
        // less one step.
        {"envelope sum as summed in order",
         with([](Values &v) { v.sd = std::nextafter(0.05f, 0.0f), v.sd_gap = 0.02f; }), true},
        {"envelope sum a step over",
         with([](Values &v) { v.sd = std::nextafter(0.33f, 0.0f), v.sd_gap = 0.3f; }), false},
        {"gaps as long as their slots",
         with([](Values &v) { v.fd_gap = v.fd, v.sd_gap = v.sd, v.attack = 0, v.release = 0; }), true},
        {"symbol gap needs no envelope room", with([](Values &v) { v.sd_gap = v.sd; }), false},
        {"front door count 0", with([](Values &v) { v.count = 0; }), false},
        {"negative spacing and gap", with([](Values &v) { v.spacing = -50.0f, v.gap = -100.0f; }), true},
        {"NaN spacing", with([&](Values &v) { v.spacing = nan; }), false},
        {"NaN channel gap", with([&](Values &v) { v.gap = nan; }), false},
        {"infinite spacing and gap",
         with([](Values &v) {
             v.spacing = std::numeric_limits<float>::infinity(), v.gap = -std::numeric_limits<float>::infinity();
         }),
         true},
        {"glide longer than a slot", with([](Values &v) { v.glide = 0.1f; }), false},
        {"negative release", with([](Values &v) { v.release = -0.001f; }), false},
        {"pattern without data", with([](Values &v) { v.pattern = " *ab"; }), false},
        {"empty pattern", with([](Values &v) { v.pattern = ""; }), false},
        {"pattern of 255", with([&](Values &v) { v.pattern = long_pattern.c_str() + 1; }), true},
        {"pattern of 256", with([&](Values &v) { v.pattern = long_pattern.c_str(); }), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        modulation_params *m = make(c.v);
        EXPECT_EQ(m != nullptr, c.ok);
        del_modulation_params(m);
    }
    EXPECT_EQ(new_modulation_params(1, nullptr, 2, nullptr, 1760.0f, 0, 0, 0.1f, 0.1f, 0, 0, 0, 0, 0), nullptr);
}

TEST_F(ModulationParamsTest, ReaderRefusals)
{
    modulation_params *m = new_default_modulation_params();
    ASSERT_NE(m, nullptr);
    uint8_t body[60];
    uint64_t pos = 0;
    modulation_params_serialise(m, body, &pos);
    del_modulation_params(m);
    ASSERT_EQ(pos, 60u);
    for (uint8_t format : {4, 7}) {
        pos = 0;
        EXPECT_EQ(modulation_params_deserialise(body, 60, &pos, format), nullptr);
        EXPECT_EQ(pos, 0u);
    }
    body[58] = 2; // the pattern length promises a byte the body does not hold
    pos = 0;
    EXPECT_EQ(modulation_params_deserialise(body, 60, &pos, 6), nullptr);
    body[58] = 0; // an empty text is read as such, not as "1", and refused
    pos = 0;
    EXPECT_EQ(modulation_params_deserialise(body, 59, &pos, 6), nullptr);
    EXPECT_EQ(pos, 59u);
}

TEST_F(ModulationParamsTest, EqualityComparesNumbersAndFrontDoorButNotPattern)
{
    Values v;
    modulation_params *a = make(v);
    v.pattern = "1 2*";
    modulation_params *other_pattern = make(v);
    v.spacing = -0.0f;
    modulation_params *negative_zero = make(v);
    v = Values{};
    modulation_params *nan_spacing = make(v);
    if (nan_spacing != nullptr)
        nan_spacing->tone_spacing = std::numeric_limits<float>::quiet_NaN(); // refused by the constructor
    v.count = 1;
    modulation_params *shorter = make(v);
    ASSERT_TRUE(a && other_pattern && negative_zero && nan_spacing && shorter);
    EXPECT_TRUE(modulation_params_equal(a, other_pattern));
    EXPECT_TRUE(modulation_params_equal(a, negative_zero));
    EXPECT_FALSE(modulation_params_equal(nan_spacing, nan_spacing));
    EXPECT_FALSE(modulation_params_equal(a, shorter));
    a->frontdoor[1] = 20;
    EXPECT_FALSE(modulation_params_equal(a, other_pattern));
    for (modulation_params *m : {a, other_pattern, negative_zero, nan_spacing, shorter})
        del_modulation_params(m);
}

class SlotPatternTest : public TrackedHeapTest {};

TEST_F(SlotPatternTest, DataSlotPositions)
{
    struct Case {
        const char *text;
        uint32_t n;
        uint64_t position;
    };
    const Case cases[] = {
        {"1", 7, 7},     {"1 ", 5, 10},     {" 1", 5, 11},     {"12", 9, 9},      {"1 2*", 0, 0},
        {"1 2*", 1, 2},  {"1 2*", 2, 4},    {"1 2*", 3, 6},    {"a3bc4", 3, 9},   {"1  ", 100, 300},
        {"1 ", 200, 400}, // beyond an 8-bit slot number: exact here
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" n " << c.n);
        slot_pattern *p = new_slot_pattern(c.text);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(slot_pattern_data_slot_position(p, c.n), c.position);
        EXPECT_EQ(slot_pattern_nth_data_slot(p, c.n), static_cast<uint8_t>(c.position));
        del_slot_pattern(p);
    }
}

TEST_F(SlotPatternTest, CharactersAndDegenerateTexts)
{
    slot_pattern *p = new_slot_pattern("1 2*");
    slot_pattern *dflt = new_slot_pattern(nullptr);
    slot_pattern *empty = new_slot_pattern("");
    slot_pattern *silent = new_slot_pattern("  ");
    ASSERT_TRUE(p && dflt && empty && silent);
    EXPECT_EQ(slot_pattern_char(p, 5), ' ');
    EXPECT_STREQ(slot_pattern_text(dflt), "1");
    EXPECT_STREQ(slot_pattern_text(empty), "");
    // No division by a zero length and no endless search.
    EXPECT_EQ(slot_pattern_char(empty, 3), '\0');
    EXPECT_EQ(slot_pattern_nth_data_slot(silent, 4), 0);
    EXPECT_EQ(slot_pattern_nth_data_slot(empty, 4), 0);
    for (slot_pattern *s : {p, dflt, empty, silent})
        del_slot_pattern(s);
}
