// The step's exit statuses, as the configuration tool and the README read them.
#pragma once

inline constexpr int kExitCommitted = 0;   // OK has done its work
inline constexpr int kExitOther = 1;       // not started, refused, answered No, script error
inline constexpr int kExitCancelled = 2;   // a cancel or close confirmed: the mark is written
inline constexpr int kExitWindowOpen = 3;  // input or display gone, script ended: window open
inline constexpr int kExitEndedWithFailures = 4;  // OK or a cancel ran to its end, with failures
inline constexpr int kExitSignalBase = 128;       // the shell's convention: 128 + signal
