// What the window says about the cabinet's link while no operation runs, and the new states'
// texts that an operation's wait shows too.
#pragma once

#include "cabinet/probe.h"

// The status text for a link that is not Ready.
const char *linkStatusText(LinkState link);
