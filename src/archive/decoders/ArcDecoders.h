// The decoders of the ARC family and of ZOO, and the two formats' method
// tables. ARC: 1 and 2 stored, 3 packed (the 90h run-length code), 4
// squeezed (Huffman, then run-length), 5 to 7 crunched (fixed 12-bit LZW whose
// table slots are chosen by a hash; 6 and 7 then run-length, 7 with the newer
// hash), 8 crunched (9- to 12-bit LZW, then run-length), 9 squashed (9- to
// 13-bit LZW). ZOO: 0 stored, 1 LZW (9 to 13 bits, clear 256, end 257), 2 LZH.
// Each decoder holds the outcomes of Decoder.h: output capped at
// unpackedSize, input at packedSize, and every loop consumes input or makes
// output, so hostile data ends in DataError or Truncated.
#pragma once

#include "archive/decoders/Decoder.h"

// The ARC decoder for a method byte, or null when the method is not one of 1 to 9.
const TDecoderEntry *FindArcDecoder(int method);
// The ZOO decoder for a method byte, or null when the method is not one of 0 to 2.
const TDecoderEntry *FindZooDecoder(int method);

// Packed (ARC 3): the run-length code alone.
DecodeStatus DecodeArcPacked(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// Squeezed (ARC 4): a node table, LSB-first Huffman codes, then run-length.
DecodeStatus DecodeArcSqueezed(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// Crunched with the hashed 12-bit table (ARC 5, 6 and 7 by params.method).
DecodeStatus DecodeArcCrunchedOld(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// Crunched (ARC 8, after a byte giving the largest code size) and squashed (ARC 9).
DecodeStatus DecodeArcCrunched(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
// ZOO's LZW (method 1).
DecodeStatus DecodeZooLzw(DecodeInput &in, DecodeOutput &out, const DecodeParams &params);
