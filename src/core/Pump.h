#pragma once
#include <functional>

namespace sondrel {

// Long operations run inside their command handler and keep the window alive by handing
// pending window messages to Qt at fixed points.
void pumpMessages();

// An observer called at every pump (the benchmarks measure the longest gap between pumps).
void setPumpObserver(std::function<void()> observer);

} // namespace sondrel
