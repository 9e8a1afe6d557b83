// The window's outline, taken from the backdrop picture's alpha at the window's size.
#pragma once

void shapeWindowFromBackdrop();
