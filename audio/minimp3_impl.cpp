// The MP3 decoder's implementation, from the minimp3 package's single header.
#define MINIMP3_IMPLEMENTATION
#define MINIMP3_ONLY_MP3
#include <minimp3.h>
