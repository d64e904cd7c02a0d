#include "coding/gf/gf_poly.h"

#include "support/byte_field_fixture.h"

#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

namespace {

using bytes = std::vector<uint8_t>;

class GfPolyTest : public ByteFieldTest {
protected:
    void TearDown() override
    {
        for (gf_poly &p : owned)
            del_gf_poly(&p);
        ByteFieldTest::TearDown();
    }
    // Polynomials made here are freed at the end of the test.
    gf_poly keep(gf_poly p)
    {
        owned.push_back(p);
        return p;
    }
    gf_poly make(std::initializer_list<uint8_t> c)
    {
        const bytes b(c);
        return keep(new_gf_poly(b.data(), b.size()));
    }
    std::vector<gf_poly> owned;
};

bytes of(gf_poly p)
{
    return p.length == 0 ? bytes{} : bytes(p.data, p.data + p.length);
}

} // namespace

TEST_F(GfPolyTest, OperationVectors)
{
    const gf_poly abc = make({0x0A, 0x0B, 0x0C});
    const gf_poly empty = make({});
    struct Case {
        const char *name;
        gf_poly result;
        bytes expected;
    } cases[] = {
        {"trim 1..3", trim_gf_poly(abc, 1, 3), {0x0B, 0x0C}},
        {"trim 1..10", trim_gf_poly(abc, 1, 10), {0x0B, 0x0C}},
        {"trim 2..1", trim_gf_poly(abc, 2, 1), {}},
        {"reverse", reverse_gf_poly(abc), {0x0C, 0x0B, 0x0A}},
        {"scale", gf_poly_scale(field, make({0x80, 0x01, 0x00}), 2), {0x1D, 0x02, 0x00}},
        {"add aligns constants", gf_poly_add(make({1, 2}), make({3})), {1, 1}},
        {"add other way", gf_poly_add(make({3}), make({1, 2})), {1, 1}},
        {"add itself", gf_poly_add(abc, abc), {0, 0, 0}},
        {"mul", gf_poly_mul(field, make({1, 2}), make({1, 4})), {1, 6, 8}},
        {"div", gf_poly_div(field, make({1, 0, 0}), make({1, 2})), {4}},
        {"div by one coefficient", gf_poly_div(field, abc, make({7})), {}},
        {"div short dividend", gf_poly_div(field, make({5, 6}), abc), {5, 6}},
        // length(a) + length(b) - 1 and length(divisor) - 1 would wrap here.
        {"mul by empty", gf_poly_mul(field, abc, empty), {}},
        {"mul empty by", gf_poly_mul(field, empty, abc), {}},
        {"div by empty", gf_poly_div(field, abc, empty), {}},
        {"div empty", gf_poly_div(field, empty, abc), {}},
        {"zero pad", gf_poly_zero_pad(abc, 2), {0x0A, 0x0B, 0x0C, 0, 0}},
        {"strip", gf_poly_strip_leadingzero(make({0, 0, 5, 0})), {5, 0}},
        {"strip all zero", gf_poly_strip_leadingzero(make({0, 0})), {}},
        {"concatenate", gf_poly_concatenate(make({1}), make({2, 3})), {1, 2, 3}},
        {"append", gf_poly_append(new_gf_poly(abc.data, abc.length), 9), {0x0A, 0x0B, 0x0C, 9}},
        {"append to empty", gf_poly_append(new_gf_poly(nullptr, 0), 9), {9}},
        {"new zero-filled", new_gf_poly(nullptr, 3), {0, 0, 0}},
        {"copy", copy_gf_poly(abc.data, abc.length), {0x0A, 0x0B, 0x0C}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        keep(c.result);
        ASSERT_FALSE(gf_poly_failed(c.result));
        EXPECT_EQ(of(c.result), c.expected);
    }
}

TEST_F(GfPolyTest, EvaluationMaximumAndDivisionIdentity)
{
    EXPECT_EQ(gf_poly_eval(field, make({}), 7), 0);
    EXPECT_EQ(gf_poly_eval(field, make({0x42}), 7), 0x42);
    // (x + 2)(x + 4) vanishes at 2 and 4.
    EXPECT_EQ(gf_poly_eval(field, make({1, 6, 8}), 2), 0);
    EXPECT_EQ(gf_poly_eval(field, make({1, 6, 8}), 4), 0);
    EXPECT_EQ(gf_poly_eval(field, make({1, 6, 8}), 1), 1 ^ 6 ^ 8);
    EXPECT_EQ(gf_poly_max(make({})), 0);
    EXPECT_EQ(gf_poly_max(make({3, 0xF0, 7})), 0xF0);
    // (q d + r) mod d = r for a monic d.
    const gf_poly d = make({1, 0x1E, 0xD8, 0xE7, 0x74});
    const gf_poly r = make({0x05, 0x00, 0xC3, 0x21});
    const gf_poly n = keep(gf_poly_add(keep(gf_poly_mul(field, make({0x13, 0, 0xFE, 0x77, 1, 0x99}), d)), r));
    EXPECT_EQ(of(keep(gf_poly_div(field, n, d))), of(r));
}

TEST_F(GfPolyTest, ExhaustedMemoryFailsTheOperationAndPropagates)
{
    const bytes a = {1, 2, 3}, b = {0, 4, 5};
    sweep_allocation_failures([&] {
        const gf_poly pa = new_gf_poly(a.data(), a.size());
        const gf_poly pb = new_gf_poly(b.data(), b.size());
        gf_poly results[] = {
            reverse_gf_poly(pa),          trim_gf_poly(pa, 1, 2),         gf_poly_scale(field, pa, 3),
            gf_poly_add(pa, pb),          gf_poly_mul(field, pa, pb),     gf_poly_div(field, pa, pb),
            gf_poly_zero_pad(pa, 3),      gf_poly_strip_leadingzero(pb),  gf_poly_concatenate(pa, pb),
            gf_poly_append(copy_gf_poly(pa.data, pa.length), 1),
        };
        bool ok = !gf_poly_failed(pa) && !gf_poly_failed(pb);
        for (gf_poly &r : results) {
            ok = ok && !gf_poly_failed(r);
            del_gf_poly(&r);
        }
        gf_poly inputs[] = {pa, pb};
        for (gf_poly &p : inputs)
            del_gf_poly(&p);
        return ok;
    });
    // A failed result passed on fails the next operation, even when its
    // length says empty.
    for (const gf_poly lost : {gf_poly{nullptr, 3}, gf_poly{nullptr, 0}}) {
        const gf_poly p = make({1, 2});
        const gf_poly results[] = {
            reverse_gf_poly(lost),     trim_gf_poly(lost, 0, 1), gf_poly_scale(field, lost, 3),
            gf_poly_add(p, lost),      gf_poly_mul(field, lost, p), gf_poly_div(field, p, lost),
            gf_poly_zero_pad(lost, 1), gf_poly_strip_leadingzero(lost), gf_poly_concatenate(lost, p),
            gf_poly_append(lost, 1),
        };
        for (const gf_poly &r : results)
            EXPECT_TRUE(gf_poly_failed(r));
    }
}
