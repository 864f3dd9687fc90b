// Writes the glyph pack the browser build draws its text with: every glyph of the given fonts
// at the sizes their antialiasing levels render at, made by the desktop's own rasteriser, so
// that the browser's text is the desktop's pixel for pixel.
//
//   glyphpack OUT                         the status bar's font: Arial 16 at levels 0 and 1
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
    faces = {{qf::TFont{"Arial", 16}, 0}, {qf::TFont{"Arial", 16}, 1}};
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
