// Work on several threads, results taken in order on the calling thread: `work(i, thread)` runs for
// every i in [0, count) on one of `threads` threads, and `take(i, result)` on the caller in
// ascending i. A thread starts job i only while i < (next to take) + window, so at most `window`
// results wait at once and memory stays bounded however many jobs there are. The first exception
// from either side stops the rest (`stop` is set for work that can end early) and is rethrown
// once every thread has ended.
#pragma once

#include <stddef.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

template <class Result, class Work, class Take>
void runInOrder(size_t count, int threads, size_t window, std::atomic<bool>& stop, Work work, Take take) {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<size_t, Result> done;
  size_t next_job = 0;
  size_t next_take = 0;
  std::exception_ptr failure;

  auto fail = [&](std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!failure) failure = std::move(error);
    stop = true;
    changed.notify_all();
  };
  auto worker = [&](int thread) {
    for (;;) {
      size_t job;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || next_job == count || next_job < next_take + window; });
        if (stop || next_job == count) return;
        job = next_job++;
      }
      try {
        Result result = work(job, thread);
        std::lock_guard<std::mutex> lock(mutex);
        done.emplace(job, std::move(result));
        changed.notify_all();
      } catch (...) {
        fail(std::current_exception());
        return;
      }
    }
  };

  std::vector<std::thread> pool;
  try {
    for (int thread = 0; thread < threads; ++thread) pool.emplace_back(worker, thread);
  } catch (...) {
    fail(std::current_exception());
  }
  while (next_take < count) {
    Result result;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return stop.load() || done.count(next_take) != 0; });
      if (stop) break;
      auto found = done.find(next_take);
      result = std::move(found->second);
      done.erase(found);
    }
    try {
      take(next_take, result);
    } catch (...) {
      fail(std::current_exception());
      break;
    }
    std::lock_guard<std::mutex> lock(mutex);
    next_take += 1;
    changed.notify_all();
  }
  for (std::thread& thread : pool) thread.join();
  if (failure) std::rethrow_exception(failure);
}
