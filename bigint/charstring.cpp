/// CharString storage: allocation, copying and bounded indexing.
#include "bigint/charstring.h"

#include <utility>

namespace {
// Target of every out-of-range index, shared by all strings.
char spareCharacter = '\0';
}  // namespace

CharString::CharString() = default;

CharString::CharString(const CharString& source) { CopyTextFrom(source); }

CharString::~CharString() { Release(); }

void CharString::Release() {
  delete[] text;
  text = nullptr;
  size = 0;
}

void CharString::Allocate(uint32_t n) {
  Release();
  text = new char[n]();
  size = n;
}

// Takes a block of the source's size and its characters up to and including the
// terminator; the rest of the block stays unset. An empty source leaves this empty.
void CharString::CopyTextFrom(const CharString& source) {
  if (source.text == nullptr || source.size == 0) return;
  text = new char[source.size];
  size = source.size;
  for (uint32_t i = 0; i < size; ++i) {
    text[i] = source.text[i];
    if (text[i] == '\0') break;
  }
}

char& CharString::operator[](uint32_t i) { return i < size ? text[i] : spareCharacter; }

// t is already this call's own copy: taking over its block (and handing it the
// old one to release) copies the text once, not twice.
CharString& CharString::operator=(CharString t) {
  std::swap(text, t.text);
  std::swap(size, t.size);
  return *this;
}
