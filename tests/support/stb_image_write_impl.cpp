// The PNG writer the tests save frames with, from the system's stb header.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
