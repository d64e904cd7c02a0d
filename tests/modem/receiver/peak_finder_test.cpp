#include "modem/receiver/peak_finder.h"

#include "reference_peaks.h"
#include "coding/protocol_tones.h"
#include "dsp/spectrum_analyser.h"
#include "support/memory_fixture.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int32_t kSize = 2048;
constexpr uint32_t kRate = 44100;
constexpr float kBinHz = static_cast<float>(kRate) / kSize;

// A flat floor of 1 with the given bins raised.
std::vector<float> spectrum_with(std::initializer_list<std::pair<int, float>> bins, float floor = 1.0f)
{
    std::vector<float> x(kSize / 2, floor);
    for (const auto &[bin, value] : bins)
        x[bin] = value;
    return x;
}

class PeakFinderTest : public TrackedHeapTest {};

TEST_F(PeakFinderTest, BandFollowsTheFrequenciesOrCoversTheSpectrum)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    const float tone0 = protocol_tone_frequency(p, 0.0f, 0), tone32 = protocol_tone_frequency(p, 32.0f, 0);
    // The band is given in corrected Hz; a factor moves it to where those
    // frequencies are heard (divided by the factor).
    struct Case {
        const char *what;
        float low, high, factor;
        int32_t low_bin, high_bin;
    } cases[] = {
        {"tone 0 to tone 32 of the standard protocol", tone0, tone32, 1.0f, 81, 518},
        {"heard 2 % low", tone0, tone32, 1.0f / 0.98f, 80, 508},
        {"heard 2 % high", tone0, tone32, 1.0f / 1.02f, 83, 529},
        {"the smallest factor: beyond the spectrum", tone0, tone32, 0.5f, 163, 1037},
        {"the largest factor", tone0, tone32, 1.5f, 54, 345},
        {"low 0", 0.0f, 5000.0f, 1.0f, 1, 1022},
        {"high 0", 1000.0f, 0.0f, 0.7f, 1, 1022},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        peak_finder *pf = new_peak_finder(kRate, kSize, 1, c.low, c.high);
        ASSERT_NE(pf, nullptr);
        EXPECT_EQ(pf->frequency_factor, 1.0f);
        ASSERT_TRUE(peak_finder_set_frequency_correction(pf, c.factor));
        EXPECT_EQ(pf->low_bin, c.low_bin);
        EXPECT_EQ(pf->high_bin, c.high_bin);
        // A refused factor leaves the band where it was.
        EXPECT_FALSE(peak_finder_set_frequency_correction(pf, 2.0f));
        EXPECT_EQ(pf->low_bin, c.low_bin);
        EXPECT_EQ(pf->high_bin, c.high_bin);
        del_peak_finder(pf);
    }
    del_protocol(p);
    EXPECT_EQ(new_peak_finder(kRate, kSize, 0, 0.0f, 0.0f), nullptr);
    EXPECT_EQ(new_peak_finder(kRate, 0, 1, 0.0f, 0.0f), nullptr);
    sweep_allocation_failures([] {
        peak_finder *pf = new_peak_finder(kRate, kSize, 3, 0.0f, 0.0f);
        del_peak_finder(pf);
        return pf != nullptr;
    });
}

// Sine tones through the real analysis chain: the dB parabola finds a tone
// between bins to a small fraction of a bin.
TEST_F(PeakFinderTest, RefinesSingleTonesToSubBinFrequencies)
{
    spectrum_analyser *sa = new_spectrum_analyser(kSize);
    peak_finder *pf = new_peak_finder(kRate, kSize, 1, 1000.0f, 12000.0f);
    ASSERT_NE(sa, nullptr);
    ASSERT_NE(pf, nullptr);
    for (double bin : {100.0, 100.25, 100.5, 233.7, 300.9, 412.0}) {
        SCOPED_TRACE(bin);
        std::vector<float> frame(kSize);
        for (int i = 0; i < kSize; ++i)
            frame[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * bin * i / kSize));
        const spectral_peak *peaks = peak_finder_find(pf, spectrum_analyser_process(sa, frame.data()));
        EXPECT_FALSE(spectral_peak_is_empty(&peaks[0]));
        EXPECT_NEAR(peaks[0].frequency / kBinHz, bin, 0.03);
    }
    del_peak_finder(pf);
    del_spectrum_analyser(sa);
}

// Three bins whose dB values lie on a parabola with its vertex at b + offset:
// the refinement lands on the vertex and gives back its height.
TEST_F(PeakFinderTest, ParabolaVertexGivesFrequencyAndMagnitude)
{
    peak_finder *pf = new_peak_finder(kRate, kSize, 1, 0.0f, 0.0f);
    ASSERT_NE(pf, nullptr);
    for (float offset : {0.0f, 0.2f, -0.35f, 0.45f}) {
        SCOPED_TRACE(offset);
        const float top_db = 60.0f, width = 6.0f;
        auto db = [&](float at) { return top_db - width * (at - offset) * (at - offset); };
        const std::vector<float> x = spectrum_with({{199, std::pow(10.0f, db(-1) / 20)},
                                                    {200, std::pow(10.0f, db(0) / 20)},
                                                    {201, std::pow(10.0f, db(1) / 20)}},
                                                   1e-3f);
        const spectral_peak *peaks = peak_finder_find(pf, x.data());
        EXPECT_NEAR(peaks[0].frequency / kBinHz, 200.0f + offset, 1e-3f);
        EXPECT_NEAR(20.0f * std::log10(peaks[0].magnitude), top_db, 1e-3f);
    }
    del_peak_finder(pf);
}

// The search passes over runs of bins that cannot be taken; it must find what
// testing every bin in turn finds, ties, plateaus, NaN and negative values
// included, for any number of peaks and any band.
TEST_F(PeakFinderTest, SearchFindsWhatTestingEveryBinFinds)
{
    const float nan = std::nanf("");
    struct Case {
        int32_t k;
        float low_hz, high_hz, factor;
    } cases[] = {
        {1, 1760.0f, 11175.3f, 1.0f}, {1, 0.0f, 0.0f, 1.0f}, {2, 1760.0f, 11175.3f, 1.0f / 0.98f},
        {3, 3000.0f, 3300.0f, 1.0f},  {5, 0.0f, 0.0f, 0.5f}, {1, 100.0f, 22000.0f, 0.5f},
    };
    std::mt19937 gen(8);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "k " << c.k << ", " << c.low_hz << " to " << c.high_hz << " Hz");
        peak_finder *pf = new_peak_finder(kRate, kSize, c.k, c.low_hz, c.high_hz);
        ASSERT_NE(pf, nullptr);
        ASSERT_TRUE(peak_finder_set_frequency_correction(pf, c.factor));
        std::vector<spectral_peak> expected(c.k);
        for (int trial = 0; trial < 200; ++trial) {
            // Few distinct levels, so that ties and plateaus are common.
            std::vector<float> x(kSize / 2);
            const uint32_t levels = 2 + gen() % 30;
            for (float &v : x) {
                const uint32_t r = gen() % 1000;
                v = r < 5 ? nan : r < 10 ? -0.5f : static_cast<float>(gen() % levels);
            }
            reference_find_peaks(x.data(), kSize, kRate, c.factor, pf->low_bin, pf->high_bin, expected);
            const spectral_peak *found = peak_finder_find(pf, x.data());
            ASSERT_EQ(std::memcmp(found, expected.data(), sizeof(spectral_peak) * c.k), 0) << "trial " << trial;
        }
        del_peak_finder(pf);
    }
}

// With one slot the search goes straight to the band's largest value when a
// bin holding it is a local maximum. Spectra whose largest value is no
// maximum, or is one only at a later bin, must still find what testing every
// bin finds, with one slot and with two.
TEST_F(PeakFinderTest, LargestValueThatIsNoPeakIsPassedOver)
{
    const float nan = std::nanf("");
    struct Case {
        const char *what;
        std::initializer_list<std::pair<int, float>> bins; // on a floor of 1 with a peak of 5 at bin 300
        float floor;
    } cases[] = {
        {"a larger lower peak first", {{150, 4.0f}, {400, 8.0f}}, 1.0f},
        {"largest at the band's bottom, a higher bin below the band", {{80, 9.0f}, {81, 8.0f}}, 1.0f},
        {"largest a plateau running past the band's top", {{516, 8.0f}, {517, 8.0f}, {518, 8.0f}, {519, 8.0f}}, 1.0f},
        {"largest at the band's top, a higher bin above it", {{518, 8.0f}, {519, 9.0f}}, 1.0f},
        {"largest in the last bins after the whole runs", {{517, 8.0f}}, 1.0f},
        {"largest twice, a peak only the second time", {{200, 8.0f}, {201, 8.0f}}, 1.0f},
        {"largest before a NaN", {{200, 8.0f}, {201, nan}}, 1.0f},
        {"largest after a NaN", {{199, nan}, {200, 8.0f}}, 1.0f},
        {"NaN all round the only peak", {}, nan},
        {"nothing above -1", {{300, -1.0f}}, -2.0f},
        {"zeros of both signs", {{300, -0.0f}, {301, -0.5f}}, 0.0f},
    };
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    for (const int32_t k : {1, 2}) {
        peak_finder *pf = new_peak_finder(kRate, kSize, k, protocol_tone_frequency(p, 0.0f, 0),
                                          protocol_tone_frequency(p, 32.0f, 0));
        ASSERT_NE(pf, nullptr);
        ASSERT_EQ(pf->low_bin, 81);
        ASSERT_EQ(pf->high_bin, 518);
        std::vector<spectral_peak> expected(k);
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", k " << k);
            std::vector<float> x = spectrum_with({{300, 5.0f}}, c.floor);
            for (const auto &[bin, value] : c.bins)
                x[bin] = value;
            reference_find_peaks(x.data(), kSize, kRate, 1.0f, pf->low_bin, pf->high_bin, expected);
            const spectral_peak *found = peak_finder_find(pf, x.data());
            EXPECT_EQ(std::memcmp(found, expected.data(), sizeof(spectral_peak) * k), 0)
                << found[0].frequency << " Hz, expected " << expected[0].frequency << " Hz";
        }
        del_peak_finder(pf);
    }
    del_protocol(p);
}

TEST_F(PeakFinderTest, FrequencyCorrectionScalesWithinLimits)
{
    peak_finder *pf = new_peak_finder(kRate, kSize, 1, 0.0f, 0.0f);
    ASSERT_NE(pf, nullptr);
    struct Case {
        float factor;
        bool accepted;
    } cases[] = {{1.5f, true},      {1.5001f, false}, {0.5f, true}, {0.4999f, false},
                 {std::nanf(""), false}, {-1.0f, false},   {1.02f, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.factor);
        const float before = peak_finder_frequency_correction(pf);
        EXPECT_EQ(peak_finder_set_frequency_correction(pf, c.factor), c.accepted);
        EXPECT_EQ(peak_finder_frequency_correction(pf), c.accepted ? c.factor : before);
    }
    const std::vector<float> x = spectrum_with({{299, 4.0f}, {300, 64.0f}, {301, 4.0f}});
    EXPECT_FLOAT_EQ(peak_finder_find(pf, x.data())[0].frequency, 300.0f * kBinHz * 1.02f);
    EXPECT_FALSE(peak_finder_set_frequency_correction(nullptr, 1.0f));
    EXPECT_EQ(peak_finder_frequency_correction(nullptr), 0.0f);
    del_peak_finder(pf);
    del_peak_finder(nullptr);
}

} // namespace
