#pragma once

#include <cstddef>
#include <string>

// What a picture file is and what decoding it would take, read from its own
// header and structure before any pixel is decoded: its kind, its size, and
// whether its data is all there. The image library reads past the end of
// several formats as black or leaves the pixels unset; a file cut short lost
// part of its picture, so it is refused here instead.

enum class PictureKind { Png, Jpeg, Gif, Bitmap, Pnm, Tga };

struct PictureScreen {
  PictureKind kind = PictureKind::Png;
  int width = 0, height = 0;
  int levelMax = 0;  // PNM: the file's largest sample value, its white; 0 for other kinds
};

// False with a one-line reason when the file is no picture hvx reads, is cut
// short, or asks for more than `maxPixels` pixels or kMaxJpegScans scans.
bool screenPicture(const unsigned char* data, std::size_t size, std::size_t maxPixels,
                   PictureScreen& out, std::string& error);
