#include "cabinet/link_texts.h"

#include "app/app_state.h"

const char *linkStatusText(LinkState link) {
    switch (link) {
    case Unauthorized:
        return "Cabinet found, not authorised.\nOn the cabinet, tap\n\"Allow USB debugging\".";
    case Offline:
        return "Cabinet is offline.\nUnplug and replug the\nUSB cable.";
    case NoPermission:
        return "Cabinet found, no permission.\nAdd the udev rule from\nthe README, then replug.";
    case NotACabinet:
        return "This device is not a cabinet.\nConnect the cabinet and\nunplug other devices.";
    case SeveralCabinets:
        return "More than one cabinet.\nConnect one cabinet\nat a time.";
    case NoCabinet:
    case Ready:
        break;
    }
    return initialStatusText;
}
