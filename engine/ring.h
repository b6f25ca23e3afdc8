#pragma once
// TRing: a first-in-first-out buffer in one block that grows by doubling and gives all its room
// back when cleared, so that the history's memory is what its blocks hold and nothing more.
// Thread: any; a plain value.

#include <cstddef>
#include <utility>
#include <vector>

namespace kestrava {

template <typename T>
class TRing {
 public:
  size_t Size() const { return m_count; }
  bool Empty() const { return m_count == 0; }
  // The room held, in bytes.
  size_t Bytes() const { return m_buffer.capacity() * sizeof(T); }

  // REQUIRES: i < Size(); 0 is the oldest.
  T& operator[](size_t i) { return m_buffer[Wrap(m_head + i)]; }
  const T& operator[](size_t i) const { return m_buffer[Wrap(m_head + i)]; }
  T& Back() { return (*this)[m_count - 1]; }
  const T& Back() const { return (*this)[m_count - 1]; }
  const T& Front() const { return (*this)[0]; }

  void PushBack(T value) {
    if (m_count == m_buffer.size()) Grow();
    m_buffer[Wrap(m_head + m_count)] = std::move(value);
    ++m_count;
  }
  // REQUIRES: !Empty().
  void PopFront() {
    m_buffer[m_head] = T();
    m_head = Wrap(m_head + 1);
    --m_count;
  }
  void Clear() {
    std::vector<T>().swap(m_buffer);
    m_head = 0;
    m_count = 0;
  }

 private:
  size_t Wrap(size_t i) const { return i >= m_buffer.size() ? i - m_buffer.size() : i; }
  void Grow() { Resize(m_buffer.empty() ? 8 : m_buffer.size() * 2); }
  void Resize(size_t room) {
    std::vector<T> next;
    next.reserve(room);
    for (size_t i = 0; i < m_count; ++i) next.push_back(std::move((*this)[i]));
    next.resize(room);
    m_buffer.swap(next);
    m_head = 0;
  }

  std::vector<T> m_buffer;
  size_t m_head = 0;
  size_t m_count = 0;
};

}  // namespace kestrava
