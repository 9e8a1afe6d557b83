// Drawing one whole frame of the window, and the animation's clock.
#pragma once

void renderFrame();
float elapsedSeconds();
