/// Residues of one number by many moduli below 2^32 at once: the moduli are
/// taken in groups whose product is about the number's size; each group's
/// product tree is built, the number is divided once by the group's product,
/// and the quotient's fraction is carried down the tree by products alone
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

uint32_t BitLength(uint32_t m) {
  uint32_t bits = 0;
  for (; m != 0; m >>= 1) ++bits;
  return bits;
}

// The scaled remainder tree over one group of moduli. A node stands for a run
// of moduli and holds their product P (s limbs). Going down, a node receives
// y = floor(beta^(s+1) frac(n / P)), the fraction n / P to one limb beyond P's
// size. A child c with sibling d gets frac(n / P_c) = frac(frac(n / P) P_d):
// the product y P_d, whose fraction limbs hold it, cut to s_c + 1 limbs. Each
// cut loses less than 1 / beta of a unit of n mod P_c, so at a leaf y P
// rounds to n mod P exactly (the number of levels being far below beta).
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
    Descend(root, RootFraction(n, nn, Product(nodes_[root]), s).data(), 0);
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
  // quotient of n beta^(s+1) by P, by long division.
  static LimbVector RootFraction(const Limb* n, uint32_t nn, const Limb* p, uint32_t s) {
    const uint32_t k = s + 1;
    const uint32_t nu = nn + k;
    LimbVector dividend(nu, 0);
    std::copy(n, n + nn, dividend.begin() + k);
    LimbVector quotient(std::max(nu - s + 1, k), 0);
    LimbVector remainder(s);
    Divisor(p, s, nu).Divide(quotient.data(), remainder.data(), dividend.data(), nu);
    quotient.resize(k);
    return quotient;
  }

  void Descend(uint32_t index, const Limb* y, uint32_t depth) {
    const Node node = nodes_[index];
    if (node.left == kNoChild) {
      LeafResidues(node, y, depth);
      return;
    }
    const uint32_t k = node.size + 1;
    for (const bool leftSide : {true, false}) {
      const uint32_t childIndex = leftSide ? node.left : node.right;
      const Node& child = nodes_[childIndex];
      const Node& sibling = nodes_[leftSide ? node.right : node.left];
      const uint32_t childK = child.size + 1;
      Limb* product = Level(depth, k + sibling.size + childK);
      Limb* childY = product + k + sibling.size;
      FastMultiply(product, y, k, Product(sibling), sibling.size, Scratch(k));
      std::copy(product + k - childK, product + k, childY);
      Descend(childIndex, childY, depth + 1);
    }
  }

  // n mod P = y P / beta^(s+1), rounded to the nearest integer (which may be P
  // itself, as good as 0 for every modulus dividing P); then by each modulus.
  void LeafResidues(const Node& node, const Limb* y, uint32_t depth) {
    const uint32_t k = node.size + 1;
    Limb* product = Level(depth, k + node.size);
    Multiply(product, y, k, Product(node), node.size);
    Limb* remainder = product + k;
    PropagateCarry(remainder, node.size, product[k - 1] >> (kLimbBits - 1));
    for (uint32_t i = node.begin; i < node.end; ++i) {
      residues_[offset_ + i] = ModuloSmall(remainder, node.size, moduli_[offset_ + i]);
    }
  }

  const uint32_t* moduli_;
  uint32_t* residues_;
  size_t offset_ = 0;  // the group's first modulus
  std::vector<Node> nodes_;
  LimbVector products_;
  LimbVector scratch_;
  std::vector<LimbVector> levels_;
};

}  // namespace

void ResiduesBySmallModuli(uint32_t* residues, const Limb* n, uint32_t nn, const uint32_t* moduli,
                           size_t count) {
  nn = SignificantLimbs(n, nn);
  if (nn < kRemainderTreeThreshold) {
    for (size_t i = 0; i < count; ++i) residues[i] = nn == 0 ? 0 : ModuloSmall(n, nn, moduli[i]);
    return;
  }
  // Groups of about n's size: the division at each root then costs about as
  // much as the group's tree, and the whole stays linear in the moduli.
  const uint64_t groupBits = uint64_t{std::max(nn, kRemainderTreeGroupLimbs)} * kLimbBits;
  GroupTree tree(moduli, residues);
  for (size_t begin = 0; begin < count;) {
    size_t end = begin;
    for (uint64_t bits = 0; end < count && bits < groupBits; ++end) bits += BitLength(moduli[end]);
    tree.Residues(n, nn, begin, end);
    begin = end;
  }
}

}  // namespace limbs
