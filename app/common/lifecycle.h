// How a start of the step begins and ends, the same in every face: the
// installation is claimed, the window loads, and a step left without OK
// always leaves the cancel mark:
//   a request to end (SIGINT, SIGTERM, SIGHUP)       -> status 128 + signal
//   the input or the display gone, a script ended    -> status 3
//   a failure that escaped every procedure           -> status 3
// Every other end is the window's own (OK 0, a confirmed cancel 2, with
// failures 4) or a start that never began (status 1, nothing written).
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "base/termination.h"
#include "form/start_config_form.h"
#include "runtime/exit_status.h"

namespace app {

// What a face does just before the step ends, so that what is said on standard
// error stays readable (the terminal window puts the terminal back). May be empty.
using BeforeEnd = std::function<void()>;

// Claims the installation for this start. A second start is refused (its box
// through the face, then its words on standard error) and the process ends with
// status 1, nothing written.
void ClaimOrEnd(const BeforeEnd& beforeEnd = nullptr);

// A request to end: the step is left without OK and ends with 128 + signal.
[[noreturn]] void EndOnRequest(frm_Start_Config_Exe& form, int signal,
                               const BeforeEnd& beforeEnd = nullptr);

// The face's input or display has gone, or its script ended, with the window
// open: the step is left without OK and ends with status 3. A face that was
// left unseen says why on standard error ("the terminal has gone"); empty says
// nothing there.
[[noreturn]] void EndWithWindowOpen(frm_Start_Config_Exe& form, const std::string& why,
                                    const BeforeEnd& beforeEnd = nullptr);

// A failure no procedure could report (memory ran out, say): said on standard
// error, the step is left without OK and ends with status 3, as with the
// window left open.
[[noreturn]] void EndOnFailure(frm_Start_Config_Exe& form, const std::exception& failure,
                               const BeforeEnd& beforeEnd = nullptr);

// Runs part of a face (its loading, its loop): a request to end raised in it
// ends the step by EndOnRequest, a failure that escaped every procedure by
// EndOnFailure.
template <class Body>
void UntilEndRequest(frm_Start_Config_Exe& form, const BeforeEnd& beforeEnd, Body body) {
  try {
    body();
  } catch (const platform::EndRequest& request) {
    EndOnRequest(form, request.signal, beforeEnd);
  } catch (const std::exception& failure) {
    EndOnFailure(form, failure, beforeEnd);
  }
}

}  // namespace app
