// Writes the glyph pack the browser build draws its text with: every glyph of the given fonts
// at the sizes their antialiasing levels render at, made by the desktop's own rasteriser, so
// that the browser's text is the desktop's pixel for pixel.
//
//   glyphpack OUT                         the game's faces: the status bar and the learning view
//   glyphpack OUT FONT SIZE LEVEL...      one font at the given levels

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "raster/glyph_pack.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc < 5) {
    std::fprintf(stderr, "usage: glyphpack OUT [FONT SIZE LEVEL...]\n");
    return 2;
  }
  std::vector<qf::TGlyphPackFace> faces;
  if (argc == 2) {
    // The status bar; the learning view's text (level 2) and the sizes its layout measures
    // (TextExtent takes level 0).
    const qf::TFont bar{"Arial", 16};
    faces = {{bar, 0}, {bar, 1}};
    for (int32_t size : {12, 8, -10, -11}) faces.push_back({qf::TFont{"Arial", size}, 2});
    for (int32_t size : {12, 8, -9, -10, -11, -13}) faces.push_back({qf::TFont{"Arial", size}, 0});
  } else {
    for (int i = 4; i < argc; ++i)
      faces.push_back({qf::TFont{argv[2], std::atoi(argv[3])}, std::atoi(argv[i])});
  }
  const std::string pack = qf::MakeGlyphPack(faces);
  if (pack.empty()) {
    std::fprintf(stderr, "glyphpack: no face for \"%s\" at that size\n",
                 faces.front().Font.Name.c_str());
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << pack;
  out.close();
  if (!out) {
    std::fprintf(stderr, "glyphpack: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
