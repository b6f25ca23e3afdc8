#include "engine/hand_over.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kestrava {

THandOver::THandOver() : m_owner(std::this_thread::get_id()) {
  m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (m_fd >= 0) {
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
  }
}

THandOver::~THandOver() {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_closed = true;
    m_queue.clear();
  }
  m_done.notify_all();
  m_notifier.reset();
  if (m_fd >= 0) close(m_fd);
}

void THandOver::Wake() {
  const uint64_t one = 1;
  // A full counter still wakes the reader; nothing is lost when this write fails.
  [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void THandOver::Post(std::function<void()> call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  auto item = std::make_shared<TItem>();
  item->Call = std::move(call);
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_closed) return;
    m_queue.push_back(item);
  }
  Wake();
}

void THandOver::Run(std::function<void()> call) {
  if (OnWindowThread()) {
    call();
    return;
  }
  auto item = std::make_shared<TItem>();
  item->Call = std::move(call);
  item->Waited = true;
  std::unique_lock<std::mutex> lock(m_lock);
  if (m_closed) return;
  m_queue.push_back(item);
  lock.unlock();
  Wake();
  lock.lock();
  m_done.wait(lock, [&] { return item->Done || m_closed; });
}

void THandOver::Drain() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(m_fd, &count, sizeof count);
  for (;;) {
    std::shared_ptr<TItem> item;
    {
      std::lock_guard<std::mutex> lock(m_lock);
      if (m_queue.empty()) return;
      item = m_queue.front();
      m_queue.pop_front();
    }
    // The waiting thread is released even when the call fails.
    struct TRelease {
      THandOver& Owner;
      TItem& Item;
      ~TRelease() {
        {
          std::lock_guard<std::mutex> lock(Owner.m_lock);
          Item.Done = true;
        }
        if (Item.Waited) Owner.m_done.notify_all();
      }
    } release{*this, *item};
    item->Call();
  }
}

}  // namespace kestrava
