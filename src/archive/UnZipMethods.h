// The ZIP methods decoded by the system's libraries rather than by the kit's
// own decoders: bzip2 (12), LZMA (14), Zstandard (93) and xz (95).
#pragma once

#include "archive/decoders/Decoder.h"

// Decodes a member of one of those methods (params.method picks the library);
// the outcomes of Decoder.h, Unsupported for any other method. Writes at most
// unpackedSize bytes, reads at most packedSize.
DecodeStatus DecodeZipLibraryMethod(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);

// AES-encrypted members (method 99) are listed, and refused on extraction with
// the password message (25190): the kit has no AES decryption.
inline constexpr int kZipAesMethod = 99;
