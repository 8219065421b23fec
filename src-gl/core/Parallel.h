#pragma once
#include <cstddef>
#include <functional>

// Runs job(0) .. job(count - 1) on up to as many threads as the machine has cores and returns
// when all are done; the first exception a job throws is rethrown here once every thread has
// stopped.
void ForEachParallel(size_t count, const std::function<void(size_t)>& job);
