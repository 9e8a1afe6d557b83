// Moves the cursor the way the user's mouse does: through the system, behind SDL's back.
#pragma once

void moveSystemCursor(int x, int y);
