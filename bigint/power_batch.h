/// Several modular exponentiations at once, each on its own prepared modulus:
/// where the processor can, they share the vector unit, one per lane.
#pragma once

#include <cstdint>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/powmod_observer.h"
#include "bigint/prepared_modulus.h"

/// One exponentiation of a batch: base^exponent mod modulus.
struct PowerJob {
  const PreparedModulus& modulus;
  const BigInt& base;
  const BigInt& exponent;
};

/// The most jobs that run at once; a longer batch runs in groups of this many.
constexpr uint32_t kPowerBatchSize = 8;

/// The fewest jobs on moduli of this one's size, prepared on its kernel, for
/// which PowerBatch runs them side by side, where that beats running them one
/// by one on that kernel; 0 where it never does (no batch kernel on this
/// processor beside that kernel, or none that serves this modulus). Jobs on
/// moduli prepared on different kernels run one by one. Side by side, jobs
/// whose exponents share their top bit pass their checkpoints together, with
/// the same bit counts: observing one observes all.
uint32_t PowerBatchMinJobs(const PreparedModulus& modulus);

/// result[i] = jobs[i].modulus.Power(jobs[i].base, jobs[i].exponent), with
/// Power's value and length contract. Where the processor has a kernel for
/// several exponentiations at once and the jobs suit it (odd moduli of one size
/// in the range where it pays, enough of them), they run side by side;
/// otherwise one by one on each modulus's own kernel, with the same results.
/// The observer, when given, hears the checkpoints of jobs[observedJob]'s
/// exponentiation as Power would give them; when it asks to stop, PowerBatch
/// returns at once with results of the usual lengths that mean nothing.
std::vector<BigInt> PowerBatch(const std::vector<PowerJob>& jobs,
                               PowModObserver* observer = nullptr, uint32_t observedJob = 0);
