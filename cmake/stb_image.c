/* The one translation unit that holds stb_image's code; skins use only these formats. */
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_NO_STDIO
/* Hostile headers are refused before any allocation of their size. */
#define STBI_MAX_DIMENSIONS 16384
#include "stb_image.h"
