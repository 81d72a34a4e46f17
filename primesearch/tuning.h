/// Every tuned number of the search layer, each with the reason for its value
/// and the benchmark that measures it. The measurements themselves are in
/// docs/tuning.md, under "The search". None of these numbers changes the
/// trace: only how fast it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

// ---- The known-factor sieve ----------------------------------------------------

/// The largest sieve bound; above it the sieve is clamped. The saving of a
/// search is flat beyond it at 1024 bytes and grows little at 2048, while the
/// prime list and its offsets take 8 bytes per prime (32 MB here).
/// Measure: build/bench/sieve_bench --sizes=1024,2048 --bounds=24,25,26,27,28,
/// with this cap raised for the run.
constexpr uint32_t kMaxSieveBound = 1u << 26;

/// Candidates per sieve window: 64 KB of smallest factors, which stay in the
/// processor's second-level cache while every prime marks its multiples.
/// Measure: build/bench/sieve_bench (its "window ms" column).
constexpr uint32_t kDefaultSieveWindow = 1u << 14;

/// Odd numbers per segment of the sieve that lists the sieving primes: 32 KB of
/// flags, one first-level cache.
/// Measure: build/bench/sieve_bench (its "prep" columns).
constexpr uint32_t kSieveSegmentOdds = 1u << 15;

/// The most odd numbers per run of the sieve's construction: the threads take
/// runs in turn, each listing its primes and their residues, four runs or more
/// per thread (shorter runs at small bounds, down to one segment). Large
/// enough that a run's residues fill many remainder trees.
/// Measure: build/bench/sieve_bench --prepare --sizes=1024,2048.
constexpr uint32_t kSieveChunkOdds = 1u << 18;

/// The sieve bound by candidate size: the bound that maximises the expected
/// saving of one search, runs * share * powmod - prepare - windows * window
/// (Lehman runs on composites, the share the sieve proves, one exponentiation,
/// the sieve's construction and its windows). Near the best bound the saving
/// is flat; where two bounds come within 2 % the smaller is taken (less memory,
/// and a faster exponentiation moves every best bound down). Each row starts
/// halfway between two measured sizes; below the last row, no sieve. A slower
/// kernel makes every exponentiation the sieve saves dearer, so each kernel has
/// its own rows.
/// Measure: build/bench/sieve_bench --kernel=NAME (its "best" column beside
/// "chosen").
struct SieveBoundRow {
  uint32_t fromBits;
  uint32_t bound;
};
constexpr SieveBoundRow kVectorSieveBoundRows[] = {
    {10240, 1u << 26}, {7168, 1u << 24}, {5120, 1u << 23}, {3584, 1u << 21}, {2560, 1u << 20},
    {1792, 1u << 19},  {1280, 1u << 18}, {640, 1u << 16},  {448, 1u << 15},  {320, 1u << 14},
};
constexpr SieveBoundRow kScalarSieveBoundRows[] = {
    {7168, 1u << 26}, {5120, 1u << 25}, {3584, 1u << 23}, {2560, 1u << 22}, {1792, 1u << 20},
    {1280, 1u << 19}, {896, 1u << 18},  {640, 1u << 17},  {448, 1u << 16},  {320, 1u << 14},
};

/// The first stage of the sieve by candidate size: the primes listed, with
/// their residues, before the search starts; the larger ones follow on the
/// sieve's own threads while the first candidates are tested. The largest
/// power of two whose construction on one thread costs at most one
/// exponentiation on the vector kernel (the fastest, so the tightest), that is
/// about half of one on the two threads of a search: room for the noise of a
/// shared machine. Each row starts halfway between two measured sizes; below
/// the last row, where a search takes a fraction of a second, and from the
/// first, where the whole sieve costs less, the whole sieve at once.
/// Measure: build/bench/sieve_bench --sizes=384,...,8192 --bounds=17,...,26
/// (its "prep" columns beside "powmod ms"), then --prepare (its "wait" columns).
constexpr SieveBoundRow kSieveFirstStageRows[] = {
    {49152, kMaxSieveBound}, {28672, 1u << 25}, {20480, 1u << 24}, {10240, 1u << 23},
    {7168, 1u << 20},        {5120, 1u << 19},  {3584, 1u << 18},  {2560, 1u << 17},
};

// ---- The worker pool -----------------------------------------------------------

/// Below this size in bytes a Lehman run costs less than handing it to other
/// threads and back; the search then stays on one thread. A slower kernel
/// reaches that cost at a smaller size.
/// Measure: build/bench/search_bench --kernel=NAME --sizes=64,96,128,144,160,192
/// --starts=7 --wall (one worker against two).
constexpr uint16_t kVectorMinBytesForWorkers = 160;
constexpr uint16_t kScalarMinBytesForWorkers = 112;

/// Candidates whose Lehman runs may be queued ahead of the trace, per worker:
/// enough to keep every worker busy while many runs end cheaply by a known
/// factor, few enough to bound the work dropped when the search ends.
/// Measure: build/bench/search_bench --sizes=256,512 --wall.
constexpr uint64_t kLookAheadPerWorker = 4;

// ---- Exponentiations side by side ----------------------------------------------

/// Lehman candidates past the current one that the search looks at for others
/// whose first base can run beside the current one's. More fill batches better
/// where known factors settle many candidates; each one met ahead costs the
/// preparation of its modulus, and the batch that holds the accepted number
/// drops the work of the lanes after it.
/// Measure: build/bench/search_bench --sizes=128,256,512,1024 --workers=1 (its
/// "batch/gmp" and "dropped" columns).
constexpr size_t kBatchLookAhead = 16;

/// Candidates whose Lehman runs may be queued ahead of the trace, per worker,
/// where first bases run side by side: enough that a worker taking a first
/// base finds further ones to fill its batch.
/// Measure: build/bench/search_bench --sizes=256,512,1024 --workers=2 (its
/// "n/gmp" and "drop-n" columns).
constexpr uint64_t kBatchLookAheadPerWorker = 8;

/// Where first bases run side by side, an exponentiation that a known factor
/// saves costs one lane of a batch, a fraction of its cost alone, while the
/// sieve's construction costs the same: in these bands of sizes (bits of the
/// first candidate, [fromBits, toBits)) a smaller bound than the kernel's row
/// pays best. Elsewhere the kernel's rows hold: at 512 bytes 2^17, 2^19 and its
/// row's 2^21 came out even.
/// Measure: build/bench/search_bench --sizes=256 --starts=5 --workers=1
/// --repeat=3 --sieve=BOUND for bounds 2^14 ... 2^19 (its "1/gmp" median).
struct BatchSieveBoundRow {
  uint32_t fromBits;
  uint32_t toBits;
  uint32_t bound;
};
constexpr BatchSieveBoundRow kBatchSieveBoundRows[] = {{1792, 2560, 1u << 16}};

// ---- By kernel -----------------------------------------------------------------

/// The settings above for the kernel a search's exponentiations run on, by the
/// name PreparedModulus::KernelName gives it: the vector kernel's, or the
/// scalar ones' (the mulx/adx and the portable kernels, within a factor of
/// about 1.3 of each other).
struct KernelSearchTuning {
  const SieveBoundRow* sieveBoundRows;
  uint32_t sieveBoundRowCount;
  uint16_t minBytesForWorkers;
};
constexpr KernelSearchTuning kVectorSearchTuning{
    kVectorSieveBoundRows, std::size(kVectorSieveBoundRows), kVectorMinBytesForWorkers};
constexpr KernelSearchTuning kScalarSearchTuning{
    kScalarSieveBoundRows, std::size(kScalarSieveBoundRows), kScalarMinBytesForWorkers};

constexpr const KernelSearchTuning& SearchTuningFor(std::string_view kernelName) {
  return kernelName == "vector" ? kVectorSearchTuning : kScalarSearchTuning;
}
