#pragma once
// The UI thread's queue, as the backend provides it. Internal to the framework.

#include <functional>

namespace fw::detail {

// Queues `call` to run on the UI thread in whichever event loop runs next; false when there is no
// UI thread to run it. Any thread. A call the queue drops is destroyed without running.
bool QueueOnUiThread(std::function<void()> call);

}  // namespace fw::detail
