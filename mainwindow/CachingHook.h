// A hook for tests into the background caching of new datasets: it runs on the pool thread
// at the start of every caching task (done and total 0) and after each column read, so a
// test can hold a caching task at a known place. Set it before the task starts and reset it
// only once no task runs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace Tervane3 {

void setCachingHook(std::function<void(const std::string& path, std::size_t done, std::size_t total)> hook);

} // namespace Tervane3
