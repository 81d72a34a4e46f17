/// CharString: a minimal owning byte string, used for the decimal text of numbers.
#pragma once

#include <cstdint>

/// Owns one heap block of `size` bytes (terminator included), or nothing: a null
/// `text` always goes with size 0. Copies own their own block and copy the
/// characters up to and including the NUL terminator (never past the block).
class CharString {
 public:
  CharString();
  CharString(const CharString& source);
  ~CharString();

  /// Replaces the block by n zero bytes.
  void Allocate(uint32_t n);
  /// The block, or null for the empty string.
  const char* Text() const { return text; }
  uint32_t Size() const { return size; }
  /// The character at i when i < Size(); otherwise one spare character shared by
  /// all strings, so a stray read or write never leaves the block.
  char& operator[](uint32_t i);
  /// Takes a copy of t's characters in a block of t's size; an empty t empties
  /// the target.
  CharString& operator=(CharString t);

 private:
  void Release();
  void CopyTextFrom(const CharString& source);

  char* text = nullptr;
  uint32_t size = 0;
};
