/// Residues of one number by many moduli below 2^32 at once: the moduli are
/// taken in groups of a fixed product size; each group's product tree is
/// built, the number is divided once by the group's product, and the
/// quotient's fraction is carried down the tree by products alone
/// (D. J. Bernstein, "Scaled remainder trees", 2004).
#include <algorithm>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

namespace {

constexpr uint32_t kNoChild = ~0u;

// x[0..n) mod m for 0 < m < 2^32, by Horner's rule over 32-bit pieces, most
// significant first, so every step divides a 64-bit value by m.
uint32_t ModuloSmall(const Limb* x, uint32_t n, uint32_t m) {
  uint64_t r = 0;
  for (uint32_t i = n; i-- > 0;) {
    for (uint32_t shift = kLimbBits; shift > 0;) {
      shift -= 32;
      r = ((r << 32) | static_cast<uint32_t>(x[i] >> shift)) % m;
    }
  }
  return static_cast<uint32_t>(r);
}

// Residues of a short number by odd moduli below 2^30, several side by side so
// that their independent chains overlap: Horner's rule over 32-bit pieces,
// most significant first, s = s 2^32 + piece mod p, with Montgomery's
// reduction in place of a division (P. L. Montgomery, "Modular multiplication
// without trial division", 1985; HAC 14.32). Redc(T) = T / 2^32 mod p for
// T + q p < 2^64, and Redc(s (2^64 mod p)) = s 2^32 mod p. With p < 2^30 every
// s stays below 2^33: T < 2^33 2^30, q p < 2^62, so Redc(T) < 3 2^30 and
// s + piece < 2^33.
constexpr uint32_t kHornerModulusLimit = 1u << 30;
constexpr uint32_t kHornerBlock = 8;

struct MontgomeryModulus {
  uint64_t p = 1;
  uint32_t negativeInverse = 0;  // -p^-1 mod 2^32
  uint64_t shiftFactor = 0;      // 2^64 mod p

  MontgomeryModulus() = default;
  explicit MontgomeryModulus(uint32_t m)
      : p(m), negativeInverse(0 - InverseModWordBase<uint32_t>(m)) {
    const uint64_t pieceBase = (uint64_t{1} << 32) % p;
    shiftFactor = pieceBase * pieceBase % p;
  }

  uint64_t Redc(uint64_t t) const {
    const uint32_t q = static_cast<uint32_t>(t) * negativeInverse;
    return (t + q * p) >> 32;
  }
};

bool HornerFits(const uint32_t* moduli, size_t count) {
  return std::all_of(moduli, moduli + count,
                     [](uint32_t m) { return m % 2 == 1 && m < kHornerModulusLimit; });
}

// residues[j] = x[0..n) mod moduli[j] for j < count <= kHornerBlock, odd
// moduli below 2^30.
void HornerBlock(uint32_t* residues, const Limb* x, uint32_t n, const uint32_t* moduli,
                 uint32_t count) {
  MontgomeryModulus block[kHornerBlock];
  uint64_t s[kHornerBlock] = {};
  // A short block repeats its last modulus, so the loop keeps its fixed width.
  for (uint32_t j = 0; j < kHornerBlock; ++j) {
    block[j] = MontgomeryModulus(moduli[std::min(j, count - 1)]);
  }
  for (uint32_t i = n; i-- > 0;) {
    for (uint32_t shift = kLimbBits; shift > 0;) {
      shift -= 32;
      const auto piece = static_cast<uint32_t>(x[i] >> shift);
      for (uint32_t j = 0; j < kHornerBlock; ++j) {
        s[j] = block[j].Redc(s[j] * block[j].shiftFactor) + piece;
      }
    }
  }
  for (uint32_t j = 0; j < count; ++j) residues[j] = static_cast<uint32_t>(s[j] % block[j].p);
}

// Residue by residue, for numbers too short for the remainder tree.
void ResiduesOneByOne(uint32_t* residues, const Limb* x, uint32_t n, const uint32_t* moduli,
                      size_t count) {
  for (size_t j = 0; j < count; j += kHornerBlock) {
    const auto blockCount = static_cast<uint32_t>(std::min<size_t>(kHornerBlock, count - j));
    if (HornerFits(moduli + j, blockCount)) {
      HornerBlock(residues + j, x, n, moduli + j, blockCount);
    } else {
      for (uint32_t i = 0; i < blockCount; ++i) residues[j + i] = ModuloSmall(x, n, moduli[j + i]);
    }
  }
}

uint32_t LeadingZeroBits(Limb x) {
  uint32_t count = 0;
  for (Limb bit = Limb{1} << (kLimbBits - 1); (x & bit) == 0; bit >>= 1) ++count;
  return count;
}

// The division of two limbs by one limb d with its top bit set, by two
// products with the reciprocal v = floor((beta^2 - 1) / d) - beta in place of
// a division (N. Moller and T. Granlund, "Improved division by invariant
// integers", IEEE Trans. Computers 60(2), 2011, algorithm 4).
class NormalisedLimb {
 public:
  explicit NormalisedLimb(Limb d)
      : d_(d), v_(static_cast<Limb>(((static_cast<WideLimb>(~d) << kLimbBits) | kLimbMax) / d)) {}

  // floor((u1 beta + u0) / d) for u1 < d, the remainder in *r.
  Limb Divide(Limb u1, Limb u0, Limb* r) const {
    // Sums wrap modulo beta^2 and beta as the algorithm intends.
    const WideLimb q =
        static_cast<WideLimb>(v_) * u1 + ((static_cast<WideLimb>(u1) << kLimbBits) | u0);
    Limb q1 = HighLimb(q) + 1;
    Limb remainder = u0 - q1 * d_;
    if (remainder > LowLimb(q)) {
      --q1;
      remainder += d_;
    }
    if (remainder >= d_) {
      ++q1;
      remainder -= d_;
    }
    *r = remainder;
    return q1;
  }

 private:
  Limb d_;
  Limb v_;
};

// r[0..count) = limbs [low, low + count) of a[0..na) b[0..nb), summed column by
// column from column low - 2 up: what the columns below would carry in is
// left out, less than nb units of limb low - 1, so the result is at most one
// below the exact limbs.
void MiddleProduct(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, uint32_t low,
                   uint32_t count) {
  WideLimb sum = 0;  // the column's low two limbs
  Limb top = 0;      // and its third
  for (uint32_t column = low >= 2 ? low - 2 : 0; column < low + count; ++column) {
    const uint32_t first = column + 1 > nb ? column + 1 - nb : 0;
    const uint32_t last = column < na ? column : na - 1;
    for (uint32_t i = first; i <= last; ++i) {
      const WideLimb product = static_cast<WideLimb>(a[i]) * b[column - i];
      sum += product;
      top += sum < product ? 1 : 0;
    }
    if (column >= low) r[column - low] = LowLimb(sum);
    sum = (sum >> kLimbBits) | (static_cast<WideLimb>(top) << kLimbBits);
    top = 0;
  }
}

// The scaled remainder tree over one group of moduli. A node stands for a run
// of moduli and holds their product P (s limbs). Going down, a node receives
// y = floor(beta^(s+1) frac(n / P)), the fraction n / P to one limb beyond P's
// size. A child c with sibling d gets frac(n / P_c) = frac(frac(n / P) P_d):
// the product y P_d, whose fraction limbs hold it, cut to s_c + 1 limbs. Each
// cut, and each middle product, loses less than s_d / beta of a unit of
// n mod P_c, so at a leaf y P_c rounds to n mod P_c exactly (the levels and
// the sizes being far below beta); values are only ever rounded down, and
// frac wraps them around 0, so a remainder 0 may come out as P_c, which is 0
// too.
class GroupTree {
 public:
  GroupTree(const uint32_t* moduli, uint32_t* residues) : moduli_(moduli), residues_(residues) {}

  // residues[begin..end) = n mod moduli[begin..end); n[0..nn) without leading
  // zero limbs, nn >= 1.
  void Residues(const Limb* n, uint32_t nn, size_t begin, size_t end) {
    nodes_.clear();
    products_.clear();
    offset_ = begin;
    const uint32_t root = Build(0, static_cast<uint32_t>(end - begin));
    const uint32_t s = nodes_[root].size;
    Descend(root, RootFraction(n, nn, Product(nodes_[root]), s), 0);
  }

 private:
  struct Node {
    uint32_t begin;  // the moduli [begin, end) of the group
    uint32_t end;
    uint32_t offset;  // the product's limbs in products_
    uint32_t size;
    uint32_t left;  // kNoChild at a leaf
    uint32_t right;
  };

  // Moduli per leaf: their product fits in two limbs.
  static constexpr uint32_t kLeafModuli = 2 * kLimbBits / 32;
  static constexpr uint32_t kLeafFractionLimbs = 3;

  const Limb* Product(const Node& node) const { return products_.data() + node.offset; }

  Limb* Scratch(uint32_t n) {
    const uint32_t need = ProductScratchLimbs(n);
    if (scratch_.size() < need) scratch_.resize(need);
    return scratch_.data();
  }

  // Working space of the node at this depth; a deeper node's space is another
  // vector, so a fraction handed down stays where it is.
  Limb* Level(uint32_t depth, uint32_t n) {
    if (levels_.size() <= depth) levels_.resize(depth + 1);
    if (levels_[depth].size() < n) levels_[depth].resize(n);
    return levels_[depth].data();
  }

  // The product tree over the group's moduli [begin, end), split in halves;
  // returns the root's index. Children come before their parent.
  uint32_t Build(uint32_t begin, uint32_t end) {
    Node node{begin, end, static_cast<uint32_t>(products_.size()), 1, kNoChild, kNoChild};
    if (end - begin <= kLeafModuli) {
      products_.push_back(moduli_[offset_ + begin]);
      for (uint32_t i = begin + 1; i < end; ++i) {
        Limb* product = products_.data() + node.offset;
        const Limb carry = MultiplyByLimb(product, product, node.size, moduli_[offset_ + i]);
        if (carry != 0) {
          products_.push_back(carry);
          ++node.size;
        }
      }
    } else {
      const uint32_t middle = begin + (end - begin) / 2;
      node.left = Build(begin, middle);
      node.right = Build(middle, end);
      const Node& left = nodes_[node.left];
      const Node& right = nodes_[node.right];
      node.offset = static_cast<uint32_t>(products_.size());
      products_.resize(products_.size() + left.size + right.size);
      Limb* product = products_.data() + node.offset;
      FastMultiply(product, Product(left), left.size, Product(right), right.size,
                   Scratch(std::max(left.size, right.size)));
      node.size = SignificantLimbs(product, left.size + right.size);
      products_.resize(node.offset + node.size);
    }
    nodes_.push_back(node);
    return static_cast<uint32_t>(nodes_.size() - 1);
  }

  // floor(beta^(s+1) frac(n / P)) for P[0..s): the low s + 1 limbs of the
  // quotient of n beta^(s+1) by P, by long division (Knuth, TAOCP vol. 2,
  // 4.3.1, Algorithm D), each quotient limb estimated by the division of two
  // limbs by P's top limb with its reciprocal.
  const Limb* RootFraction(const Limb* n, uint32_t nn, const Limb* p, uint32_t s) {
    const uint32_t k = s + 1;
    const uint32_t shift = LeadingZeroBits(p[s - 1]);
    divisor_.resize(s);
    ShiftLeft(divisor_.data(), p, s, shift);
    const Limb* v = divisor_.data();
    const uint32_t nu = nn + k;
    dividend_.assign(nu + 1, 0);
    dividend_[nu] = ShiftLeft(dividend_.data() + k, n, nn, shift);
    quotient_.assign(k, 0);
    const NormalisedLimb top(v[s - 1]);
    for (uint32_t j = nu - s + 1; j-- > 0;) {
      Limb* w = dividend_.data() + j;
      Limb qhat = kLimbMax;
      Limb rhat = w[s - 1] + v[s - 1];
      bool rhatFits = rhat >= v[s - 1];
      if (w[s] < v[s - 1]) {
        qhat = top.Divide(w[s], w[s - 1], &rhat);
        rhatFits = true;
      }
      // D3: at most two too large; the next limb of each leaves at most one.
      while (s >= 2 && rhatFits &&
             static_cast<WideLimb>(qhat) * v[s - 2] >
                 ((static_cast<WideLimb>(rhat) << kLimbBits) | w[s - 2])) {
        --qhat;
        rhat += v[s - 1];
        rhatFits = rhat >= v[s - 1];
      }
      // D4 to D6.
      const Limb borrow = SubtractMultiple(w, v, s, qhat);
      const Limb wTop = w[s];
      w[s] = wTop - borrow;
      if (wTop < borrow) {
        --qhat;
        w[s] += AddLimbs(w, w, v, s);
      }
      if (j < k) quotient_[j] = qhat;
    }
    return quotient_.data();
  }

  void Descend(uint32_t index, const Limb* y, uint32_t depth) {
    const Node node = nodes_[index];
    if (node.left == kNoChild) {
      LeafResidues(node, y);
      return;
    }
    const uint32_t k = node.size + 1;
    for (const bool leftSide : {true, false}) {
      const uint32_t childIndex = leftSide ? node.left : node.right;
      const Node& child = nodes_[childIndex];
      const Node& sibling = nodes_[leftSide ? node.right : node.left];
      const uint32_t childK = child.size + 1;
      Limb* childY = Level(depth, k + sibling.size + childK);
      if (sibling.size < kRemainderTreeMiddleProductLimbs) {
        MiddleProduct(childY, y, k, Product(sibling), sibling.size, k - childK, childK);
      } else {
        Limb* product = childY + childK;
        FastMultiply(product, y, k, Product(sibling), sibling.size, Scratch(k));
        std::copy(product + k - childK, product + k, childY);
      }
      Descend(childIndex, childY, depth + 1);
    }
  }

  // For each modulus m of the leaf, with P = m c: frac(n / m) = frac(y c) by
  // one limb product per other modulus, each keeping the whole fraction; then
  // n mod m = frac(n / m) m, rounded to the nearest integer (m itself when the
  // fraction came out just below 1 for a remainder 0).
  void LeafResidues(const Node& node, const Limb* y) {
    const uint32_t k = node.size + 1;
    for (uint32_t i = node.begin; i < node.end; ++i) {
      Limb fraction[kLeafFractionLimbs];
      std::copy(y, y + k, fraction);
      for (uint32_t j = node.begin; j < node.end; ++j) {
        if (j != i) MultiplyFraction(fraction, k, moduli_[offset_ + j]);
      }
      const uint32_t m = moduli_[offset_ + i];
      const Limb rounded = MultiplyFraction(fraction, k, m) + (fraction[k - 1] >> (kLimbBits - 1));
      residues_[offset_ + i] = rounded == m ? 0 : static_cast<uint32_t>(rounded);
    }
  }

  // f = frac(f m) over k limbs; returns the integer part.
  static Limb MultiplyFraction(Limb* f, uint32_t k, Limb m) { return MultiplyByLimb(f, f, k, m); }

  const uint32_t* moduli_;
  uint32_t* residues_;
  size_t offset_ = 0;  // the group's first modulus
  std::vector<Node> nodes_;
  LimbVector products_;
  LimbVector scratch_;
  std::vector<LimbVector> levels_;
  LimbVector divisor_;
  LimbVector dividend_;
  LimbVector quotient_;
};

}  // namespace

void ResiduesBySmallModuli(uint32_t* residues, const Limb* n, uint32_t nn, const uint32_t* moduli,
                           size_t count) {
  nn = SignificantLimbs(n, nn);
  if (nn < kRemainderTreeThreshold) {
    ResiduesOneByOne(residues, n, nn, moduli, count);
    return;
  }
  // The long division at each group's root costs about nn limb products per
  // limb of the group's product whatever the group's size, while the tree
  // below costs more per modulus the larger the group: small groups, down to
  // where the fixed costs of a group show.
  constexpr size_t kGroupModuli = kRemainderTreeGroupLimbs * kLimbBits / 32;
  GroupTree tree(moduli, residues);
  for (size_t begin = 0; begin < count; begin += kGroupModuli) {
    tree.Residues(n, nn, begin, std::min(count, begin + kGroupModuli));
  }
}

}  // namespace limbs
