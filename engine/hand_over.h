#pragma once
// THandOver: runs calls on the window's thread for the worker. Post queues a call and returns;
// Run queues it and waits until the window's thread has run it (the caller must hold no lock
// the window's thread may need). The queue is a plain mutex-guarded list; an eventfd watched by
// a QSocketNotifier wakes the window's event loop, which drains the queue.
// Thread: created and destroyed on the window's thread; Post and Run from any thread.

#include <QSocketNotifier>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kestrava {

class THandOver {
 public:
  THandOver();
  ~THandOver();
  THandOver(const THandOver&) = delete;
  THandOver& operator=(const THandOver&) = delete;

  bool OnWindowThread() const { return std::this_thread::get_id() == m_owner; }
  void Post(std::function<void()> call);
  void Run(std::function<void()> call);

 private:
  struct TItem {
    std::function<void()> Call;
    bool Waited = false;
    bool Done = false;
  };
  void Wake();
  void Drain();

  std::thread::id m_owner;
  int m_fd = -1;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::mutex m_lock;
  std::condition_variable m_done;
  std::deque<std::shared_ptr<TItem>> m_queue;  // GUARDED_BY(m_lock)
  bool m_closed = false;                       // GUARDED_BY(m_lock)
};

}  // namespace kestrava
