#include "window/help_text.h"

// The address is fixed when the program is built (the QUILLMERE_HELP_VIDEO_URL build option).
#ifndef QUILLMERE_HELP_VIDEO_URL
#error "QUILLMERE_HELP_VIDEO_URL must be defined by the build"
#endif

const char helpVideoUrlText[] = QUILLMERE_HELP_VIDEO_URL;

#define HELP_RULE "---------------------------------------------------------------"

// 36 lines with CR LF between them and none after the last, as the message box shows them.
const char helpTextLines[] =
    "Getting the cabinet ready\r\n"
    "\r\n"
    "1.  Plug a USB keyboard into the cabinet's full-size USB port.\r\n"
    "2.  Press Windows Key + L to open the Calendar.\r\n"
    "3.  Click the three dots (menu).\r\n"
    "4.  Choose \"Select ringtone\".\r\n"
    "5.  In the search box, search for \"settings\".\r\n"
    "6.  Open Settings and find \"Build\" (Build number).\r\n"
    "7.  Tap it several times until it says developer options are enabled.\r\n"
    "8.  Go back and open \"Developer options\".\r\n"
    "9.  Turn on USB debugging (debug mode).\r\n"
    "10. Connect the cabinet to this PC with a micro-USB cable.\r\n"
    "\r\n" HELP_RULE "\r\n"
    "\r\n"
    "Video walkthrough for steps 1-5 (getting into Settings):\r\n"
    "   " QUILLMERE_HELP_VIDEO_URL "\r\n"
    "\r\n"
    "IMPORTANT - follow the video ONLY as far as reaching the\r\n"
    "Settings screen. Do NOT follow any of the storage steps in it.\r\n"
    "Once you are in Settings, come back here and do steps 6-10.\r\n"
    "\r\n" HELP_RULE "\r\n"
    "\r\n"
    "The first time you connect, the cabinet shows an\r\n"
    "\"Allow USB debugging?\" prompt - tap Allow.\r\n"
    "\r\n"
    "Then press INSTALL.\r\n"
    "\r\n"
    "After installing: when you pick a game the screen goes BLACK\r\n"
    "for a moment while the controls screen loads. That is normal -\r\n"
    "press a button on the panel (START) to begin playing.\r\n"
    "\r\n" HELP_RULE "\r\n"
    "\r\n"
    "Open the video in your web browser now?";
