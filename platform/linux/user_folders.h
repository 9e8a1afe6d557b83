// The user's own folders on Linux, which the work folder and the lock of the only copy fall back
// on.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// $XDG_RUNTIME_DIR with a trailing separator: the user's private folder for the session's files.
PlaceLookup runtimeFolder(char *path, size_t size);

// ~/.cache/quillmere with a trailing separator, made (mode 0700) when `create` is set and it is
// missing.
PlaceLookup programCacheFolder(bool create, char *path, size_t size);
