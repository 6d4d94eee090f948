// The common base of the textures that load a picture from the data archive.
#pragma once

#include "Texture.h"

// Never created by itself: TextureImageJPEG and TextureImageTGA derive from it.
class TextureImage : public Texture {
protected:
    TextureImage() = default;
};
