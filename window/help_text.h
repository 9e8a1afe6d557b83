// The help box's text and the address of the video walkthrough it offers to open.
#pragma once

extern const char helpVideoUrlText[];
extern const char helpTextLines[];
