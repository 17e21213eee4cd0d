// The spectral passes inside a task that may be cancelled: sliced, they give the same
// bits; cancelled, they stop with OperationCancelled; outside a task nothing is checked.

#include <atomic>

#include <gtest/gtest.h>

#include "SpectralTestSupport.h"
#include "base/Cancel.h"

namespace kestrelon::test {
namespace {

// Analysis, dB rows, cepstrum, its dB rows and the resynthesis from the cepstrum, each
// pass in turn.
struct Chain {
    TWaveCepstram engine;
    TWave out;
    void run(const TWave& in, int32_t N)
    {
        engine.Analyze(in, N);
        engine.CalcPower(1.0);
        engine.CalcCepstrum();
        engine.CalcCepPower(1000.0);
        out = in;
        engine.SynthesizeFromCepstrum(out);
    }
};

TEST(CancellablePasses, GiveTheSameBitsInSlicesAndStopWhenCancelled)
{
    // 256-point frames: about 1200 of them, several slices per pass
    const TWave in = noise(2, 150000, 7);
    Chain plain;
    plain.run(in, 256);
    ASSERT_GT(plain.engine.FSpectrograms[0]->FFrameCount, 1000);

    std::atomic<bool> flag{false};
    {
        CancelScope scope(&flag);
        Chain sliced;
        sliced.run(in, 256);
        for (int c = 0; c < 2; ++c) {
            EXPECT_TRUE(sameBits(*plain.engine.FSpectrograms[c], *sliced.engine.FSpectrograms[c]));
            EXPECT_TRUE(sameBits(plain.engine.FPower[c], sliced.engine.FPower[c]));
            EXPECT_TRUE(sameBits(*plain.engine.FCepstrograms[c], *sliced.engine.FCepstrograms[c]));
            EXPECT_TRUE(sameBits(plain.engine.FCepPower[c], sliced.engine.FCepPower[c]));
        }
        EXPECT_TRUE(plain.out.FData == sliced.out.FData);

        // Cancelled: every pass stops, and a stopped analysis is not taken for valid.
        flag = true;
        TWaveCepstram e;
        EXPECT_THROW(e.Analyze(in, 256), OperationCancelled);
        EXPECT_FALSE(e.FSpecValid);
        flag = false;
        e.Analyze(in, 256);
        flag = true;
        EXPECT_THROW(e.CalcPower(1.0), OperationCancelled);
        EXPECT_FALSE(e.FPowerValid);
        flag = false;
        e.CalcPower(1.0);
        flag = true;
        EXPECT_THROW(e.CalcCepstrum(), OperationCancelled);
        EXPECT_FALSE(e.FCepValid);
        TWave target = in;
        EXPECT_THROW(e.Synthesize(target), OperationCancelled);
        EXPECT_TRUE(target.FData == in.FData) << "stopped before its first slice";
    }
    // Without a scope the flag is not looked at.
    TWaveCepstram after;
    after.Analyze(in, 256);
    EXPECT_TRUE(after.FSpecValid);
}

} // namespace
} // namespace kestrelon::test
