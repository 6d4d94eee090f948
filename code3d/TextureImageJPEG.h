// A texture made from a JPEG picture of the data archive.
#pragma once

#include "TextureImage.h"

// Only square colour pictures become images; anything else (missing entry, damaged
// data, grey-scale, non-square) leaves the texture empty, silently.
class TextureImageJPEG : public TextureImage {
public:
    // Fetches `name` from "megadata.rar", decodes and uploads it.
    explicit TextureImageJPEG(const char* name);
    // Decodes and uploads JPEG bytes already in memory (borrowed, not kept).
    TextureImageJPEG(const unsigned char* data, int size);

private:
    void Load(const char* name);
    void LoadFromMemory(const unsigned char* data, int size);
};
