// The font baker's implementation, from the system's stb_truetype header, built once.
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
