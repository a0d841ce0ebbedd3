#include "base/termination.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

std::atomic<int> pending{0};
std::atomic<bool> deferred{false};
int wakePipe[2] = {-1, -1};

void OnEndRequest(int sig) {
  const int saved = errno;
  int none = 0;
  pending.compare_exchange_strong(none, sig);
  const char byte = 't';
  if (wakePipe[1] >= 0) (void)!write(wakePipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void InstallEndRequestHandlers() {
  if (wakePipe[0] >= 0) return;
  if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnEndRequest;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked wait must come back
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

int PendingEndRequest() {
  return deferred.load() ? 0 : pending.load();
}

int EndRequestDescriptor() {
  return deferred.load() ? -1 : wakePipe[0];
}

void CheckTermination() {
  const int sig = pending.load(std::memory_order_relaxed);
  if (sig != 0 && !deferred.load(std::memory_order_relaxed)) throw EndRequest{sig};
}

void DeferEndRequests() {
  deferred = true;
}

}  // namespace platform
