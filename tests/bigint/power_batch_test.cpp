/// Tests of PowerBatch, several exponentiations at once: every lane count on
/// each batch kernel the processor has, as chosen beside each single kernel,
/// and one by one, against GMP, at the sizes where a batch kernel's digit
/// count changes, with edge bases and exponents in some lanes; jobs the batch
/// kernels cannot take; and the checkpoints the observer hears, and a stop.
#include "bigint/power_batch.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/limbs/limbs.h"
#include "bigint/prepared_modulus.h"
#include "bigint/x86/kernels.h"
#include "tests/support/bigint_support.h"

namespace {

using limbs::BatchKernelKind;
using limbs::BatchPath;

struct Job {
  std::string label;
  BigInt modulus;
  BigInt base;
  BigInt exponent;
};

BigInt ToBigInt(const Mpz& value) { return FromMpz(value, DigitsNeeded(value)); }

Mpz RandomBits(gmp_randstate_t state, uint32_t bits) {
  Mpz value;
  mpz_urandomb(value.get(), state, bits);
  return value;
}

// The batch's results must be Power's: GMP's value in the modulus's length,
// at least 2 (exponent 0 gives 1 unreduced).
void ExpectPowers(const std::vector<Job>& jobs, const std::vector<BigInt>& results) {
  ASSERT_EQ(results.size(), jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "job " << i << ": " << jobs[i].label);
    const Mpz modulus(jobs[i].modulus);
    const Mpz exponent(jobs[i].exponent);
    Mpz expected("1");
    if (mpz_sgn(exponent.get()) != 0) {
      expected = Mpz("0");
      if (mpz_sgn(modulus.get()) != 0)
        mpz_powm(expected.get(), Mpz(jobs[i].base).get(), exponent.get(), modulus.get());
    }
    EXPECT_EQ(Mpz(results[i]), expected);
    EXPECT_EQ(results[i].Length(), std::max(jobs[i].modulus.Length(), 2u));
  }
}

// The jobs prepared (on the named kernel where given and there is one), and
// PowerBatchOn on a path; nullopt where it has none.
class Batch {
 public:
  explicit Batch(const std::vector<Job>& jobs, const char* kernel = nullptr) {
    for (const Job& job : jobs) {
      if (kernel == nullptr) {
        prepared_.emplace_back(job.modulus);
      } else {
        prepared_.emplace_back(job.modulus, kernel);
      }
    }
    for (size_t i = 0; i < jobs.size(); ++i)
      jobs_.push_back({prepared_[i], jobs[i].base, jobs[i].exponent});
  }
  std::optional<std::vector<BigInt>> Run(BatchPath path, PowModObserver* observer = nullptr,
                                         uint32_t observedJob = 0,
                                         BatchKernelKind kind = BatchKernelKind::kVector) const {
    return limbs::PowerBatchOn(path, jobs_, observer, observedJob, kind);
  }

 private:
  std::vector<PreparedModulus> prepared_;
  std::vector<PowerJob> jobs_;
};

// Sizes in bits around each change of a batch kernel's digit count k (the
// least with 4 m < 2^(r k)) that decides the columns a product runs: the
// smallest size it serves, k odd and even on both sides of a change, the
// sizes the search uses most, and the largest it serves, where a lane's column
// sums come closest to overflowing. PowerBatch chooses each batch kernel for
// moduli prepared on the single kernel beside it.
struct KernelSizes {
  BatchKernelKind kind;
  const char* single;
  std::vector<uint32_t> bits;
};
const KernelSizes kBatchSizes[] = {
    {BatchKernelKind::kVector, "vector", {384, 414, 415, 466, 467, 1024, 2078, 2079}},
    {BatchKernelKind::kAvx2, "adx", {384, 390, 391, 418, 419, 1024, 4096, 7136}},
};

// Lane l of a batch: the moduli cycle through all ones, sparse and random, and
// the lanes take turns at edge bases (0, 1, m - 1) and edge exponents (1, all
// ones of the modulus's size, longer than the others) beside random ones of
// different lengths, of about exponentBits bits.
Job LaneJob(gmp_randstate_t state, uint32_t bits, uint32_t lane, uint32_t exponentBits) {
  const auto moduli = EdgeModuli(state, bits);
  const auto& [shape, m] = moduli[lane % moduli.size()];
  Mpz base;
  mpz_urandomm(base.get(), state, m.get());
  std::string baseLabel = "random";
  if (lane % 4 != 0) {
    const char* labels[] = {"0", "1", "m - 1"};
    baseLabel = labels[lane % 4 - 1];
    mpz_set_ui(base.get(), lane % 4 - 1);
    if (lane % 4 == 3) mpz_sub_ui(base.get(), m.get(), 1);
  }
  Mpz exponent = RandomBits(state, exponentBits - 7 * lane);
  std::string exponentLabel = "random";
  if (lane % 3 == 1) {
    exponent = Mpz("1");
    exponentLabel = "1";
  } else if (lane % 3 == 2) {
    exponent = PowerOfTwo(exponentBits + lane);
    mpz_sub_ui(exponent.get(), exponent.get(), 1);
    exponentLabel = "all ones";
  }
  mpz_setbit(exponent.get(), 0);
  return {shape + " modulus, base " + baseLabel + ", exponent " + exponentLabel, ToBigInt(m),
          ToBigInt(base), ToBigInt(exponent)};
}

// Every lane count up to 2079 bits; above, a full batch only, which takes
// every lane through the same columns.
std::vector<uint32_t> LaneCounts(uint32_t bits) {
  if (bits > 2079) return {kPowerBatchSize};
  std::vector<uint32_t> counts;
  for (uint32_t count = 1; count <= kPowerBatchSize; ++count) counts.push_back(count);
  return counts;
}

TEST(PowerBatchTest, EveryLaneCountMatchesGmp) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed);
  const limbs::LimbVector probe(1024 / limbs::kLimbBits, limbs::kLimbMax);
  for (const auto& [kind, single, sizes] : kBatchSizes) {
    const bool haveBatchKernel = limbs::MakeBatchKernel(kind, {probe}) != nullptr;
    for (const uint32_t bits : sizes) {
      for (const uint32_t count : LaneCounts(bits)) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << ", " << BatchKernelName(kind)
                                        << ", " << bits << " bits, " << count << " jobs");
        // Above 4096 bits short exponents: the products are the same.
        const uint32_t exponentBits = bits > 4096 ? 128 : bits;
        std::vector<Job> jobs;
        for (uint32_t lane = 0; lane < count; ++lane)
          jobs.push_back(LaneJob(state, bits, lane, exponentBits));
        const Batch batch(jobs, single);
        ExpectPowers(jobs, *batch.Run(BatchPath::kChosen));
        if (count < kPowerBatchSize) ExpectPowers(jobs, *batch.Run(BatchPath::kOneByOne));
        const auto onKernel = batch.Run(BatchPath::kBatchKernel, nullptr, 0, kind);
        ASSERT_EQ(onKernel.has_value(), haveBatchKernel);
        if (onKernel) ExpectPowers(jobs, *onKernel);
      }
    }
  }
  gmp_randclear(state);
}

// What the batch kernel cannot take runs as Power runs it: moduli 0 and 1,
// exponent 0, an even modulus, a modulus of another size; and more jobs than
// one group holds.
TEST(PowerBatchTest, JobsOutsideTheBatchKernel) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 1);
  const Mpz m1024 = EdgeModuli(state, 1024)[2].second;
  const auto job = [&](const char* label, const Mpz& modulus, const Mpz& exponent) {
    return Job{label, ToBigInt(modulus), ToBigInt(RandomBits(state, 1100)), ToBigInt(exponent)};
  };
  const Mpz exponent = RandomBits(state, 1024);
  Mpz even(m1024);
  mpz_add_ui(even.get(), even.get(), 1);
  std::vector<Job> jobs = {job("modulus 0", Mpz("0"), exponent),
                           job("modulus 1", Mpz("1"), exponent),
                           job("exponent 0", m1024, Mpz("0")),
                           job("modulus 0, exponent 0", Mpz("0"), Mpz("0")),
                           job("even modulus", even, exponent),
                           job("2048-bit modulus", EdgeModuli(state, 2048)[0].second, exponent)};
  // Ten more of one size, so that the second group of eight runs on the batch
  // kernel where there is one; one modulus has leading zero digits.
  for (int i = 0; i < 10; ++i) jobs.push_back(job("1024 bits", m1024, RandomBits(state, 1000)));
  jobs[12].modulus.Resize(jobs[12].modulus.Length() + 3);  // leading zero digits
  const Batch batch(jobs);
  for (const BatchPath path : {BatchPath::kChosen, BatchPath::kOneByOne}) {
    ExpectPowers(jobs, *batch.Run(path));
  }
  for (const BatchKernelKind kind : limbs::AllBatchKernelKinds()) {
    EXPECT_FALSE(batch.Run(BatchPath::kBatchKernel, nullptr, 0, kind))
        << BatchKernelName(kind) << ": moduli of different sizes";
  }
  gmp_randclear(state);
}

struct RecordingObserver : PowModObserver {
  bool Checkpoint(int32_t bitsRemaining) override {
    heard.push_back(bitsRemaining);
    return heard.size() != stopAfter;
  }
  size_t stopAfter = 0;  // 0: never stop
  std::vector<int32_t> heard;
};

// The observer hears the observed job's checkpoints exactly as Power gives
// them, whether its exponent is the longest, the shortest or one bit; a stop
// ends the batch at once with results of the usual lengths.
// Moduli on the vector kernel batch on the vector batch kernel, those on the
// scalar kernels on the AVX2 one, where the processor has it (beside adx only
// where it pays there); moduli on the plain kernel, or on different kernels in
// one batch, run one by one.
TEST(PowerBatchTest, EachSingleKernelBatchesBesideItsOwn) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 2);
  const Mpz modulus = EdgeModuli(state, 1024)[2].second;
  const limbs::LimbVector words = limbs::ToLimbs(ToBigInt(modulus));
  const struct {
    const char* kernel;
    std::optional<BatchKernelKind> batch;
    bool pays;
  } kRows[] = {{"vector", BatchKernelKind::kVector, true},
               {"adx", BatchKernelKind::kAvx2, limbs::x86::Avx2BatchPaysBesideAdx()},
               {"portable", BatchKernelKind::kAvx2, true},
               {"plain", std::nullopt, false}};
  for (const auto& row : kRows) {
    const PreparedModulus prepared(ToBigInt(modulus), row.kernel);
    if (std::string(prepared.KernelName()) != row.kernel) continue;
    SCOPED_TRACE(row.kernel);
    const bool batches =
        row.pays && row.batch && limbs::MakeBatchKernel(*row.batch, {words}) != nullptr;
    EXPECT_EQ(PowerBatchMinJobs(prepared) != 0, batches);
  }
  // Eight jobs, half on the vector kernel and half on adx: right either way.
  std::vector<Job> jobs;
  for (uint32_t lane = 0; lane < kPowerBatchSize; ++lane)
    jobs.push_back(LaneJob(state, 1024, lane, 1024));
  std::vector<PreparedModulus> prepared;
  std::vector<PowerJob> mixed;
  for (uint32_t i = 0; i < kPowerBatchSize; ++i)
    prepared.emplace_back(jobs[i].modulus, i % 2 == 0 ? "vector" : "adx");
  for (uint32_t i = 0; i < kPowerBatchSize; ++i)
    mixed.push_back({prepared[i], jobs[i].base, jobs[i].exponent});
  ExpectPowers(jobs, PowerBatch(mixed));
  gmp_randclear(state);
}

TEST(PowerBatchTest, ObserverHearsTheObservedJob) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 2);
  std::vector<Job> jobs;
  const uint32_t exponentBits[] = {1024, 1000, 1, 65, 2000, 1024};
  for (const uint32_t bits : exponentBits) {
    Mpz exponent = RandomBits(state, bits);
    mpz_setbit(exponent.get(), bits - 1);
    jobs.push_back({std::to_string(bits) + "-bit exponent",
                    ToBigInt(EdgeModuli(state, 1024)[2].second), ToBigInt(RandomBits(state, 1000)),
                    ToBigInt(exponent)});
  }
  jobs.push_back({"modulus 1", BigInt(1), BigInt(5), jobs[0].exponent});
  const Batch batch(jobs);
  for (uint32_t observed = 0; observed < jobs.size(); ++observed) {
    RecordingObserver alone;
    PreparedModulus(jobs[observed].modulus)
        .Power(jobs[observed].base, jobs[observed].exponent, &alone);
    const std::pair<BatchPath, BatchKernelKind> kPaths[] = {
        {BatchPath::kChosen, BatchKernelKind::kVector},
        {BatchPath::kBatchKernel, BatchKernelKind::kVector},
        {BatchPath::kBatchKernel, BatchKernelKind::kAvx2},
        {BatchPath::kOneByOne, BatchKernelKind::kVector}};
    for (const auto& [path, kind] : kPaths) {
      SCOPED_TRACE(testing::Message()
                   << "observed job " << observed << " (" << jobs[observed].label << "), path "
                   << static_cast<int>(path) << ", " << BatchKernelName(kind));
      RecordingObserver observer;
      const auto results = batch.Run(path, &observer, observed, kind);
      if (!results) continue;  // no batch kernel here
      ExpectPowers(jobs, *results);
      EXPECT_EQ(observer.heard, alone.heard);
      RecordingObserver stopping;
      stopping.stopAfter = 1;
      const auto stopped = batch.Run(path, &stopping, observed, kind);
      EXPECT_EQ(stopping.heard, std::vector<int32_t>(alone.heard.begin(), alone.heard.begin() + 1));
      for (size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ((*stopped)[i].Length(), std::max(jobs[i].modulus.Length(), 2u));
      }
    }
  }
  gmp_randclear(state);
}

}  // namespace
