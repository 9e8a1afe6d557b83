#include <SDL.h>

#include "platform/platform.h"
#include "platform/system_message_box.h"

// SDL's box, with the buttons and default of the Windows one it stands for. The owner is the
// SDL window when there is one.
int32_t systemMessageBox(void *owner, const char *text, const char *caption, uint32_t type) {
    const bool yesNo = (type & 0xf) == messageBoxYesNo;
    const bool secondIsDefault = (type & 0xf00) == messageBoxDefaultSecond;
    const Uint32 enter = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    const Uint32 escape = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    SDL_MessageBoxButtonData buttons[2];
    int count = 0;
    if (yesNo) {
        buttons[0] = {secondIsDefault ? 0u : enter, messageBoxChoseYes, "Yes"};
        buttons[1] = {secondIsDefault ? (enter | escape) : escape, messageBoxChoseNo, "No"};
        count = 2;
    } else {
        buttons[0] = {enter | escape, messageBoxChoseOk, "OK"};
        count = 1;
    }
    const Uint32 icon = (type & 0xf0) == messageBoxIconInformation ? SDL_MESSAGEBOX_INFORMATION
                                                                   : SDL_MESSAGEBOX_ERROR;
    const SDL_MessageBoxData box = {
        icon, static_cast<SDL_Window *>(owner), caption, text, count, buttons, nullptr};
    int chosen = 0;
    if (SDL_ShowMessageBox(&box, &chosen) != 0)
        return 0;
    // Closing the box with no button counts as the escape button, as on Windows.
    return chosen < 0 ? (yesNo ? messageBoxChoseNo : messageBoxChoseOk) : chosen;
}
