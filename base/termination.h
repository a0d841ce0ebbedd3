// Requests from outside to end the process (SIGINT, SIGTERM, SIGHUP). The
// signal handler only notes the request; the step acts on it at its next safe
// point (before each statement of a procedure, between the chunks of a copy,
// while it waits for input), where CheckTermination raises it as an EndRequest.
// That is no std::exception, so no procedure's trap catches it: it unwinds to
// the front end, which leaves the step without OK and ends the process with
// status 128 + signal. Nothing is ever ended half-way through a file write.
#pragma once

namespace platform {

struct EndRequest {
  int signal;
};

// Installs the handlers (once; later calls do nothing). The handlers do not
// restart interrupted system calls, so a blocking wait returns and reaches its
// safe point.
void InstallEndRequestHandlers();

// The signal of a pending request, 0 when there is none or after
// DeferEndRequests.
int PendingEndRequest();

// A descriptor that becomes readable when a request arrives, for waits on
// input; -1 before the handlers are installed and after DeferEndRequests.
int EndRequestDescriptor();

// Raises the pending request as an EndRequest; does nothing when there is none
// or after DeferEndRequests.
void CheckTermination();

// From now on requests are no longer acted on: the process has finished its
// work and is ending anyway, or is writing the cancel mark.
void DeferEndRequests();

}  // namespace platform
