// The part of the message box that is the same on every platform: the tests' stand-in.
#include <atomic>

#include "platform/platform.h"
#include "platform/system_message_box.h"

static std::atomic<MessageBoxFunction> replacement{nullptr};

int32_t showMessageBox(void *owner, const char *text, const char *caption, uint32_t type) {
    if (MessageBoxFunction function = replacement.load())
        return function(owner, text, caption, type);
    return systemMessageBox(owner, text, caption, type);
}

void replaceMessageBox(MessageBoxFunction function) { replacement.store(function); }
