#pragma once
// TByteBuffer: a growable byte string that keeps up to 99 bytes inline, so OIDs and short
// values need no heap block. It holds any bytes, NUL included. A buffer that must grow takes
// one and a half times the size it needs; clear() keeps the storage for reuse, so a warm buffer
// refilled with values of the same size allocates nothing.
// Growth throws std::bad_alloc when memory runs out (the codec turns that into error 200).
// Thread: none of its own; one buffer is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace kestrava {

class TByteBuffer {
 public:
  static constexpr size_t kInlineCapacity = 99;

  TByteBuffer() = default;
  explicit TByteBuffer(std::string_view text) { assign(text); }
  TByteBuffer(const TByteBuffer& other) { assign(other.data(), other.size()); }
  TByteBuffer(TByteBuffer&& other) noexcept { TakeFrom(other); }
  TByteBuffer& operator=(const TByteBuffer& other) {
    if (this != &other) assign(other.data(), other.size());
    return *this;
  }
  TByteBuffer& operator=(TByteBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      TakeFrom(other);
    }
    return *this;
  }
  ~TByteBuffer() { Release(); }

  const uint8_t* data() const { return m_heap ? m_heap : m_inline; }
  uint8_t* data() { return m_heap ? m_heap : m_inline; }
  size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  size_t capacity() const { return m_heap ? m_capacity : kInlineCapacity; }
  // True while the bytes live in the inline area (no heap block held).
  bool is_inline() const { return m_heap == nullptr; }

  void clear() { m_size = 0; }
  void assign(const void* bytes, size_t n) {
    m_size = 0;
    append(bytes, n);
  }
  void assign(std::string_view text) { assign(text.data(), text.size()); }
  void append(const void* bytes, size_t n) {
    if (n == 0) return;
    reserve(m_size + n);
    std::memcpy(data() + m_size, bytes, n);
    m_size += n;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void push_back(uint8_t byte) {
    reserve(m_size + 1);
    data()[m_size++] = byte;
  }
  // Sets the size; new bytes are left unset.
  void resize(size_t n) {
    reserve(n);
    m_size = n;
  }
  // Makes room for n bytes; a heap block takes 1.5 times n so that growth stays amortised.
  void reserve(size_t n) {
    if (n <= capacity()) return;
    const size_t grown = n + n / 2;
    auto* block = static_cast<uint8_t*>(::operator new(grown));
    std::memcpy(block, data(), m_size);
    Release();
    m_heap = block;
    m_capacity = grown;
  }

  std::string_view view() const {
    return std::string_view(reinterpret_cast<const char*>(data()), m_size);
  }
  std::string str() const { return std::string(view()); }
  bool operator==(std::string_view text) const { return view() == text; }
  bool operator==(const TByteBuffer& other) const { return view() == other.view(); }

 private:
  void Release() {
    if (m_heap) ::operator delete(m_heap);
    m_heap = nullptr;
    m_capacity = 0;
  }
  void TakeFrom(TByteBuffer& other) {
    m_size = other.m_size;
    if (other.m_heap) {
      m_heap = std::exchange(other.m_heap, nullptr);
      m_capacity = std::exchange(other.m_capacity, 0);
    } else {
      std::memcpy(m_inline, other.m_inline, other.m_size);
    }
    other.m_size = 0;
  }

  uint8_t* m_heap = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  uint8_t m_inline[kInlineCapacity];
};

}  // namespace kestrava
