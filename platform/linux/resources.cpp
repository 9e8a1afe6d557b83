#include "platform/linux/embedded_resources.h"
#include "platform/platform.h"

bool resourceBytes(uint16_t id, const void **data, uint32_t *size) {
    for (int i = 0; i < embeddedResourceCount; i++) {
        if (embeddedResources[i].id != id)
            continue;
        *data = embeddedResources[i].begin;
        *size = static_cast<uint32_t>(embeddedResources[i].end - embeddedResources[i].begin);
        return true;
    }
    return false;
}
