// Replaces the global operator new and delete of this test program: every block carries its size in a
// header, so that a released block can be kept and checked later.
#include "quarantine_heap.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr size_t kHeader = 16;  // keeps the 16-byte alignment of malloc
constexpr unsigned char kPattern = 0xDD;
constexpr size_t kMaxHeld = 200000;

struct Held {
  unsigned char* block;
  size_t size;
};

volatile LONG g_active = 0;
volatile LONG g_count = 0;
Held g_held[kMaxHeld];

void* Allocate(size_t size) {
  unsigned char* raw = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!raw) return nullptr;
  std::memcpy(raw, &size, sizeof size);
  return raw + kHeader;
}

void Release(void* pointer) {
  if (!pointer) return;
  unsigned char* raw = static_cast<unsigned char*>(pointer) - kHeader;
  if (g_active) {
    size_t size;
    std::memcpy(&size, raw, sizeof size);
    const LONG slot = ::InterlockedIncrement(&g_count) - 1;
    if (slot < static_cast<LONG>(kMaxHeld)) {
      std::memset(pointer, kPattern, size);
      g_held[slot] = Held{static_cast<unsigned char*>(pointer), size};
      return;
    }
  }
  std::free(raw);
}

void* AllocateOrThrow(size_t size) {
  void* p = Allocate(size);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace quillan::test {

QuarantineScope::QuarantineScope() {
  g_count = 0;
  ::InterlockedExchange(&g_active, 1);
}

QuarantineScope::~QuarantineScope() {
  ::InterlockedExchange(&g_active, 0);
  const size_t held = Held();
  for (size_t i = 0; i < held; ++i) std::free(g_held[i].block - kHeader);
  g_count = 0;
}

size_t QuarantineScope::Held() const {
  const size_t count = static_cast<size_t>(g_count);
  return count < kMaxHeld ? count : kMaxHeld;
}

size_t QuarantineScope::Damaged() const {
  size_t damaged = 0;
  const size_t held = Held();
  for (size_t i = 0; i < held; ++i) {
    for (size_t b = 0; b < g_held[i].size; ++b) {
      if (g_held[i].block[b] != kPattern) {
        ++damaged;
        break;
      }
    }
  }
  return damaged;
}

}  // namespace quillan::test
