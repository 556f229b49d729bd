// How the panel stops on a failure at the library boundary: the message
// goes to stderr always, and into a message box where there is a display to
// show one on.
#pragma once

#include <QString>

namespace opstation {

inline constexpr int kFailureExitCode = 1;

// True when a message box can be seen and answered: not on the offscreen or
// minimal platforms, where a modal box would wait for ever.
bool canShowMessageBox();

void reportFatalError(const QString &message);
// The message on stderr only: for a failure while the program is already
// closing, where a box would hold the close up.
void reportOnStderr(const QString &message);

}  // namespace opstation
